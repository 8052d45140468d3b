# Installs the built project into a fresh prefix, then builds the consumer against it,
# once with find_package and once with pkg-config, and runs both.
# Arguments: -DBUILD_DIR= -DSOURCE_DIR= (this directory) -DWORK_DIR= -DGENERATOR=
cmake_minimum_required(VERSION 3.25)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "failed (${result}): ${ARGN}\n${out}\n${err}")
  endif()
  set(last_output "${out}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)
file(MAKE_DIRECTORY ${WORK_DIR}/files)

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
foreach(installed include/mytarvo/mytarvo.h include/mytarvo/archive.hpp bin/tarvo)
  if(NOT EXISTS ${prefix}/${installed})
    message(FATAL_ERROR "not installed: ${installed}")
  endif()
endforeach()

# find_package(mytarvo) and the imported target mytarvo::mytarvo.
run(${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK_DIR}/build -G ${GENERATOR} -DCMAKE_BUILD_TYPE=Release
    -DCMAKE_PREFIX_PATH=${prefix})
run(${CMAKE_COMMAND} --build ${WORK_DIR}/build)
run(${WORK_DIR}/build/consumer ${WORK_DIR}/files)
message(STATUS "find_package: ${last_output}")

# pkg-config, when it is there.
find_program(PKG_CONFIG pkg-config)
find_program(C_COMPILER NAMES cc gcc)
if(PKG_CONFIG AND C_COMPILER)
  file(GLOB pc_dirs ${prefix}/lib*/pkgconfig ${prefix}/lib/*/pkgconfig)
  set(ENV{PKG_CONFIG_PATH} "${pc_dirs}")
  run(${PKG_CONFIG} --cflags --libs mytarvo)
  separate_arguments(flags UNIX_COMMAND "${last_output}")
  string(REGEX MATCH "-L[^ \n]+" libdir_flag "${last_output}")
  string(SUBSTRING "${libdir_flag}" 2 -1 libdir)
  run(${C_COMPILER} ${SOURCE_DIR}/consumer.c -o ${WORK_DIR}/consumer-pc ${flags} -Wl,-rpath,${libdir})
  file(REMOVE_RECURSE ${WORK_DIR}/files)
  file(MAKE_DIRECTORY ${WORK_DIR}/files)
  run(${WORK_DIR}/consumer-pc ${WORK_DIR}/files)
  message(STATUS "pkg-config: ${last_output}")
endif()
