# zephora_test(NAME SOURCES... LIBS ...): one test executable, registered as
# one CTest test (under Wine every process start costs about a second).
function(zephora_test name)
  cmake_parse_arguments(arg "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${arg_SOURCES})
  target_link_libraries(${name} PRIVATE ${arg_LIBS} GTest::gtest GTest::gmock)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "ZEPHORA_SOURCE_DIR=${PROJECT_SOURCE_DIR}"
                                          TIMEOUT 900)
  if(WIN32)
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine)
  endif()
endfunction()
