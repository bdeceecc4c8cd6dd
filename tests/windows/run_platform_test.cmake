# Runs the platform test program under the emulator. MODE no-console: with
# every standard stream a file, so that it has no console. MODE console:
# with standard output on a terminal of its own (made by `script`), which
# Wine turns into a console that the program can feed with key events.
#
# Arguments: EMULATOR, PROGRAM, MODE, SCRIPT, LOG.
cmake_minimum_required(VERSION 3.25)
if(MODE STREQUAL "no-console")
  execute_process(COMMAND ${EMULATOR} ${PROGRAM} no-console
                  INPUT_FILE /dev/null
                  OUTPUT_FILE ${LOG}
                  ERROR_FILE ${LOG}
                  RESULT_VARIABLE status
                  TIMEOUT 100)
else()
  string(JOIN "' '" command ${EMULATOR} ${PROGRAM})
  execute_process(COMMAND ${SCRIPT} --quiet --return
                          --command "'${command}' console </dev/null" /dev/null
                  INPUT_FILE /dev/null
                  OUTPUT_FILE ${LOG}
                  ERROR_FILE ${LOG}
                  RESULT_VARIABLE status
                  TIMEOUT 100)
endif()
file(READ ${LOG} log)
# Without the terminal's cursor controls, which Wine's console adds; it
# shows a blank as a move of the cursor to the right.
string(ASCII 27 escape)
string(REGEX REPLACE "${escape}\\[[0-9]*C" " " log "${log}")
string(REGEX REPLACE "${escape}\\[[0-9;?]*[A-Za-z]" "" log "${log}")
string(REPLACE "\r" "" log "${log}")
message("${log}")
if(NOT status EQUAL 0)
  message(FATAL_ERROR "platform test (${MODE}) ended with ${status}")
endif()
