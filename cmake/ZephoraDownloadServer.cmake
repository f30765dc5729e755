# zephora_download_base_url(VAR SERVER): the base URL of the packages for a
# download server written as host[:port] (plain HTTP, port 80 by default) or
# https://host[:port] (TLS, port 443 by default); http://host[:port] is taken
# too. Any other form stops the build, rather than make a SETUP.EXE that
# cannot download.
function(zephora_download_base_url var server)
  if(server MATCHES "^(https?)://([^/]*)/?$")
    set(scheme "${CMAKE_MATCH_1}")
    set(authority "${CMAKE_MATCH_2}")
  else()
    set(scheme http)
    set(authority "${server}")
  endif()
  if(NOT authority MATCHES "^([A-Za-z0-9.-]+)(:([0-9]+))?$")
    message(FATAL_ERROR "download server \"${server}\": expected host[:port] or https://host[:port]")
  endif()
  set(host "${CMAKE_MATCH_1}")
  set(port "${CMAKE_MATCH_3}")
  if(NOT port STREQUAL "")
    if(port LESS 1 OR port GREATER 65535 OR port MATCHES "^0")
      message(FATAL_ERROR "download server \"${server}\": port ${port} is not 1 to 65535")
    endif()
    set(port ":${port}")
  endif()
  set(${var} "${scheme}://${host}${port}/zephora/" PARENT_SCOPE)
endfunction()
