# mytarvo_limit_test_time([SECONDS]): gives every test registered in the calling directory
# that has no TIMEOUT of its own a time limit, so that a hung test fails instead of holding
# the whole run until CI gives up. Call it at the end of a directory's CMakeLists.txt.
set(MYTARVO_TEST_TIMEOUT 900 CACHE STRING "Default time limit of one CTest test, in seconds")

function(mytarvo_limit_test_time)
  set(limit ${MYTARVO_TEST_TIMEOUT})
  if(ARGC GREATER 0)
    set(limit ${ARGV0})
  endif()
  get_property(tests DIRECTORY PROPERTY TESTS)
  foreach(test IN LISTS tests)
    get_test_property(${test} TIMEOUT current)
    if(NOT current)
      set_tests_properties(${test} PROPERTIES TIMEOUT ${limit})
    endif()
  endforeach()
endfunction()
