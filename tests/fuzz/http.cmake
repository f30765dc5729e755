foreach(target fuzz_reply_reader fuzz_set_cookie)
  zephora_fuzz_target(${target} SOURCES ${PROJECT_SOURCE_DIR}/tests/transfer/http/${target}.cpp
                      LIBS zephora_http)
endforeach()
