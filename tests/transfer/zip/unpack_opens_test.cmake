# Counts how often unpack.exe opens a file that it installs, from Wine's
# trace of every file-system open (NtCreateFile and NtOpenFile with the
# file's name). Every open passes through each file-system filter of the
# volume on Windows (a virus scanner's among them), so the data, the time
# and the attributes of a new file go through one handle: one open.
# -D UNPACK=<unpack.exe> EMULATOR=<runner> FIXTURES=<dir> WORK=<dir>
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
# One entry stored read-only, with a time: data, time and attributes to set.
file(COPY_FILE ${FIXTURES}/crafted/readonly-entry.zip ${WORK}/main.zip)
set(ENV{WINEDEBUG} "+file")
execute_process(COMMAND ${EMULATOR} ${UNPACK} Z:${WORK}/main.zip
                RESULT_VARIABLE rc ERROR_FILE ${WORK}/trace OUTPUT_QUIET)
unset(ENV{WINEDEBUG})
if(NOT rc EQUAL 0 OR EXISTS ${WORK}/main.zip)
  message(FATAL_ERROR "unpack.exe: exit ${rc}")
endif()
file(READ ${WORK}/locked.txt content)
if(NOT content STREQUAL "locked v1")
  message(FATAL_ERROR "locked.txt holds [${content}]")
endif()
file(STRINGS ${WORK}/trace opens REGEX "trace:file:Nt(Create|Open)File .*name=.*locked\\.txt\"")
list(LENGTH opens count)
if(count EQUAL 0)
  # No trace at all would prove nothing.
  message(FATAL_ERROR "Wine's trace names no open of locked.txt; is the file channel built in?")
endif()
if(NOT count EQUAL 1)
  string(REPLACE ";" "\n" opens "${opens}")
  message(FATAL_ERROR "locked.txt opened ${count} times:\n${opens}")
endif()
