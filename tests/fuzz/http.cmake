foreach(target fuzz_reply_reader fuzz_set_cookie)
  zephora_fuzz_target(${target} SOURCES ${CMAKE_CURRENT_LIST_DIR}/${target}.cpp LIBS zephora_http)
endforeach()
# Set-Cookie headers, requests and waits; the store against a plain model.
zephora_fuzz_target(fuzz_cookie_store
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_cookie_store.cpp
          ${PROJECT_SOURCE_DIR}/tests/transfer/http/cookie_script.cpp
  LIBS zephora_http)
