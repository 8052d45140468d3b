# What `cmake --install` puts in place: the shared library (with its import library and
# .def file on Windows), the public headers, the tarvo tool, the static library behind the
# C++ interface (its layers: archive, codec, platform), a CMake package (find_package(mytarvo): mytarvo::mytarvo, mytarvo::core)
# and a pkg-config file (mytarvo.pc).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(MYTARVO_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/mytarvo)

set_target_properties(mytarvo_core PROPERTIES EXPORT_NAME core)
if(NOT WIN32)
  set_target_properties(mytarvo PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
endif()

install(TARGETS mytarvo mytarvo_core mytarvo_archive mytarvo_codec mytarvo_platform EXPORT mytarvoTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/mytarvo DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
if(WIN32)
  install(FILES ${PROJECT_SOURCE_DIR}/src/archive/mytarvo.def DESTINATION ${CMAKE_INSTALL_LIBDIR})
endif()
if(TARGET tarvo)
  install(TARGETS tarvo RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

install(EXPORT mytarvoTargets NAMESPACE mytarvo:: DESTINATION ${MYTARVO_CMAKE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/mytarvoConfig.cmake.in
  ${PROJECT_BINARY_DIR}/mytarvoConfig.cmake INSTALL_DESTINATION ${MYTARVO_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/mytarvoConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/mytarvoConfig.cmake ${PROJECT_BINARY_DIR}/mytarvoConfigVersion.cmake
  DESTINATION ${MYTARVO_CMAKE_DIR})

# The .pc file finds its prefix from where it lies, so it stays right for any --prefix.
file(RELATIVE_PATH MYTARVO_PC_TO_PREFIX /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" MYTARVO_PC_TO_PREFIX "${MYTARVO_PC_TO_PREFIX}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/mytarvo.pc.in ${PROJECT_BINARY_DIR}/mytarvo.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/mytarvo.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
