# The download server setting, as a release or a developer writes it, and the
# base URL each form gives; every other form must stop the build.
#   cmake -P download_base_url_test.cmake       (the table below)
#   cmake -DSERVER=... -P download_base_url_test.cmake   (one form, prints it)
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/ZephoraDownloadServer.cmake)

if(DEFINED SERVER)
  zephora_download_base_url(url "${SERVER}")
  message("${url}")
  return()
endif()

set(failures 0)
foreach(case
    "downloads.zephora.invalid=http://downloads.zephora.invalid/zephora/"
    "127.0.0.1:8080=http://127.0.0.1:8080/zephora/"
    "https://dl.example.com=https://dl.example.com/zephora/"
    "https://dl.example.com/=https://dl.example.com/zephora/"
    "https://localhost:18562=https://localhost:18562/zephora/"
    "http://dl.example.com:81=http://dl.example.com:81/zephora/")
  string(REPLACE "=" ";" parts "${case}")
  list(GET parts 0 server)
  list(GET parts 1 expected)
  zephora_download_base_url(url "${server}")
  if(NOT url STREQUAL expected)
    message(SEND_ERROR "${server}: got ${url}, expected ${expected}")
    math(EXPR failures "${failures} + 1")
  endif()
endforeach()

foreach(bad "" "ftp://h" "https://" "https://h/zephora" "h/x" "h:0" "h:65536" "h:080" "h:x"
            "user@h" "https://h:443:1" "HTTPS://h" "h?x")
  execute_process(COMMAND ${CMAKE_COMMAND} -DSERVER=${bad} -P ${CMAKE_CURRENT_LIST_FILE}
                  RESULT_VARIABLE result OUTPUT_QUIET ERROR_QUIET)
  if(result EQUAL 0)
    message(SEND_ERROR "\"${bad}\" was taken")
    math(EXPR failures "${failures} + 1")
  endif()
endforeach()
if(failures GREATER 0)
  message(FATAL_ERROR "${failures} download server forms went wrong")
endif()
