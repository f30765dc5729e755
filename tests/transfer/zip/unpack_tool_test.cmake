# Runs tools/unpack as a user would: a package with failing entries gives
# the message and exit code 1 and stays; a good package is unpacked and
# deleted; a file that may not be replaced keeps its bytes and is named.
# -D UNPACK=<tool> EMULATOR=<runner or empty> FIXTURES=<dir> WORK=<dir>
# DRIVE=<"Z:" for Windows builds or empty> HOLD=<hold_file, Windows builds>
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})

file(COPY_FILE ${FIXTURES}/crafted/device-names.zip ${WORK}/main.zip)
# To a file and compared as bytes, since CMake makes CR LF into LF in a
# variable.
execute_process(COMMAND ${EMULATOR} ${UNPACK} ${DRIVE}${WORK}/main.zip
                RESULT_VARIABLE rc ERROR_FILE ${WORK}/message OUTPUT_QUIET)
file(READ ${WORK}/message message_hex HEX)
set(expected "Could not extract 8 files: CON, nul.txt, Lpt1.dat, com9, AUX .log, dir/prn, trail., blank ")
# One line end, as the console expects it: CR LF on Windows, once.
if(EMULATOR)
  string(APPEND expected "\r\n")
else()
  string(APPEND expected "\n")
endif()
string(HEX "${expected}" expected_hex)
if(NOT rc EQUAL 1 OR NOT message_hex STREQUAL expected_hex)
  message(FATAL_ERROR "failing package: exit ${rc}, message bytes ${message_hex}")
endif()
if(NOT EXISTS ${WORK}/main.zip OR NOT EXISTS ${WORK}/COM10.txt)
  message(FATAL_ERROR "failing package: package gone or good entry missing")
endif()

file(COPY_FILE ${FIXTURES}/made/infozip-deflate.zip ${WORK}/upgrade.zip)
execute_process(COMMAND ${EMULATOR} ${UNPACK} ${DRIVE}${WORK}/upgrade.zip
                RESULT_VARIABLE rc ERROR_VARIABLE err OUTPUT_QUIET)
if(NOT rc EQUAL 0 OR EXISTS ${WORK}/upgrade.zip OR NOT EXISTS ${WORK}/inner.txt)
  message(FATAL_ERROR "good package: exit ${rc}, message [${err}]")
endif()

file(WRITE ${WORK}/page.zip "<html><body>Not Found</body></html>")
execute_process(COMMAND ${EMULATOR} ${UNPACK} ${DRIVE}${WORK}/page.zip
                RESULT_VARIABLE rc ERROR_VARIABLE err OUTPUT_QUIET)
string(REGEX REPLACE "\r?\n$" "" err "${err}")
if(NOT rc EQUAL 1 OR NOT err STREQUAL "Unhandled Archive Type")
  message(FATAL_ERROR "html page: exit ${rc}, message [${err}]")
endif()

# ---- files that may not be replaced, each in a folder of its own

# Runs the tool (behind PREFIX..., a program that runs it) on PACKAGE and
# checks its exit code and message; the message with one line end, in
# whatever form the console gives it.
function(expect_unpack package rc_expected message_expected)
  execute_process(COMMAND ${EMULATOR} ${ARGN} ${DRIVE}${UNPACK} ${DRIVE}${package}
                  RESULT_VARIABLE rc ERROR_FILE ${package}.message OUTPUT_QUIET)
  file(READ ${package}.message message)
  file(REMOVE ${package}.message)
  string(REPLACE "\r\n" "\n" message "${message}")
  if(NOT message_expected STREQUAL "")
    string(APPEND message_expected "\n")
  endif()
  if(NOT rc EQUAL rc_expected OR NOT message STREQUAL message_expected)
    message(FATAL_ERROR "${package}: exit ${rc}, message [${message}]")
  endif()
endfunction()

function(expect_content file content)
  file(READ ${file} actual)
  if(NOT actual STREQUAL content)
    message(FATAL_ERROR "${file} holds [${actual}], not [${content}]")
  endif()
endfunction()

function(expect_package_kept package fixture)
  if(NOT EXISTS ${package})
    message(FATAL_ERROR "${package} was deleted")
  endif()
  file(SHA256 ${package} kept)
  file(SHA256 ${FIXTURES}/${fixture} original)
  if(NOT kept STREQUAL original)
    message(FATAL_ERROR "${package} was changed")
  endif()
endfunction()

set(refused "Could not extract 1 file: ZEPHORA.EXE")

# An existing read-only program: the update's other files are installed.
set(dir ${WORK}/readonly)
file(MAKE_DIRECTORY ${dir})
file(WRITE ${dir}/ZEPHORA.EXE "OLD-VERSION")
file(CHMOD ${dir}/ZEPHORA.EXE PERMISSIONS OWNER_READ GROUP_READ WORLD_READ)
file(COPY_FILE ${FIXTURES}/updates/program-v2.zip ${dir}/upgrade.zip)
expect_unpack(${dir}/upgrade.zip 1 "${refused}")
expect_content(${dir}/ZEPHORA.EXE "OLD-VERSION")
expect_content(${dir}/readme.txt "readme v2\n")
expect_package_kept(${dir}/upgrade.zip updates/program-v2.zip)

# A package that stores the program read-only (zip, from mode 0444), then
# its update.
set(dir ${WORK}/stored-readonly)
file(MAKE_DIRECTORY ${dir})
file(COPY_FILE ${FIXTURES}/updates/program-v1-readonly.zip ${dir}/main.zip)
expect_unpack(${dir}/main.zip 0 "")
file(COPY_FILE ${FIXTURES}/updates/program-v2.zip ${dir}/upgrade.zip)
expect_unpack(${dir}/upgrade.zip 1 "${refused}")
expect_content(${dir}/ZEPHORA.EXE "PROGRAM v1-readonly\n")
expect_content(${dir}/readme.txt "readme v2\n")
expect_package_kept(${dir}/upgrade.zip updates/program-v2.zip)

# Entries named like the package, which is open while it is read. Names
# differ in case only on Windows.
set(dir ${WORK}/named-like-package)
file(MAKE_DIRECTORY ${dir})
file(COPY_FILE ${FIXTURES}/crafted/named-like-package.zip ${dir}/main.zip)
if(EMULATOR)
  expect_unpack(${dir}/main.zip 1 "Could not extract 2 files: docs/main.zip, MAIN.ZIP")
else()
  expect_unpack(${dir}/main.zip 1 "Could not extract 1 file: docs/main.zip")
endif()
expect_package_kept(${dir}/main.zip crafted/named-like-package.zip)
expect_content(${dir}/beside.txt "beside")

if(EMULATOR)
  # The program held open by another program, which does not share its
  # deletion, for longer than the waits...
  set(dir ${WORK}/held)
  file(MAKE_DIRECTORY ${dir})
  file(WRITE ${dir}/ZEPHORA.EXE "OLD-VERSION")
  file(COPY_FILE ${FIXTURES}/updates/program-v2.zip ${dir}/upgrade.zip)
  expect_unpack(${dir}/upgrade.zip 1 "${refused}" ${HOLD} ${DRIVE}${dir}/ZEPHORA.EXE throughout run)
  expect_content(${dir}/ZEPHORA.EXE "OLD-VERSION")
  expect_content(${dir}/readme.txt "readme v2\n")
  expect_package_kept(${dir}/upgrade.zip updates/program-v2.zip)

  # ...and letting go a fifth of a second after the new program's data
  # appears beside it, well within them.
  set(dir ${WORK}/held-briefly)
  file(MAKE_DIRECTORY ${dir})
  file(WRITE ${dir}/ZEPHORA.EXE "OLD-VERSION")
  file(COPY_FILE ${FIXTURES}/updates/program-v2.zip ${dir}/upgrade.zip)
  expect_unpack(${dir}/upgrade.zip 0 "" ${HOLD} ${DRIVE}${dir}/ZEPHORA.EXE after "~zph*.tmp" 200 run)
  expect_content(${dir}/ZEPHORA.EXE "PROGRAM v2\n")
  if(EXISTS ${dir}/upgrade.zip)
    message(FATAL_ERROR "held briefly: the package stayed")
  endif()
endif()

file(REMOVE_RECURSE ${WORK})
