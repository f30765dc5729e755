# The vendor's package keys, read from minisign .pub files when the build is
# configured. A SETUP.EXE carries none (it then fetches no signatures), one,
# or two (while the vendor moves from an old key to a new one).
set(ZEPHORA_PACKAGE_KEYS "" CACHE STRING
    "minisign public key files (.pub) whose signatures SETUP.EXE requires on its packages")

# zephora_package_key_lines(VAR FILE...): the key lines of the files joined
# by "," (a ";" would split the compile definition), as the program parses
# them. A file that is not a minisign public
# key, or more than two, stops the build.
function(zephora_package_key_lines var)
  set(lines "")
  list(LENGTH ARGN count)
  if(count GREATER 2)
    message(FATAL_ERROR "package keys: at most two (the current one and the next), not ${count}")
  endif()
  foreach(file IN LISTS ARGN)
    if(NOT EXISTS "${file}")
      message(FATAL_ERROR "package key ${file}: no such file")
    endif()
    set_property(DIRECTORY "${PROJECT_SOURCE_DIR}" APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${file}")
    file(STRINGS "${file}" content LIMIT_INPUT 4096)
    list(LENGTH content line_count)
    set(line "")
    set(comment "")
    if(line_count EQUAL 2)
      list(GET content 0 comment)
      list(GET content 1 line)
      string(STRIP "${line}" line)
    endif()
    # "Ed", an 8-byte key ID and a 32-byte Ed25519 key: 56 base64 characters.
    string(LENGTH "${line}" length)
    if(NOT comment MATCHES "^untrusted comment: " OR NOT line MATCHES "^RW[A-Za-z0-9+/]+$"
       OR NOT length EQUAL 56)
      message(FATAL_ERROR "package key ${file}: not a minisign public key (minisign -G makes one)")
    endif()
    list(APPEND lines "${line}")
  endforeach()
  string(JOIN "," joined ${lines})
  set(${var} "${joined}" PARENT_SCOPE)
endfunction()
