# Runs tools/unpack as a user would: a package with failing entries gives
# the message and exit code 1 and stays; a good package is unpacked and
# deleted. -D UNPACK=<tool> EMULATOR=<runner or empty> FIXTURES=<dir>
# WORK=<dir> DRIVE=<"Z:" for Windows builds or empty>
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
file(REMOVE_RECURSE ${WORK})
