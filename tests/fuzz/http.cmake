foreach(target fuzz_reply_reader fuzz_set_cookie)
  zephora_fuzz_target(${target} SOURCES ${CMAKE_CURRENT_LIST_DIR}/${target}.cpp LIBS zephora_http)
endforeach()
