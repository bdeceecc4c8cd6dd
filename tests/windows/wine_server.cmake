# Starts (ACTION=start) or stops (ACTION=stop) the Wine server that the
# Windows tests share. Starting makes the prefix on the first run and keeps
# the server alive between the tests; stopping ends it and every Wine
# process still running.
#
# Wine's background processes inherit the standard streams of the command
# that started them; they get log files, never CTest's pipes, which CTest
# would otherwise wait on.
cmake_minimum_required(VERSION 3.25)
if(ACTION STREQUAL "start")
  # A server left over from an interrupted run would refuse to be replaced.
  execute_process(COMMAND ${WINESERVER} --kill
                  INPUT_FILE /dev/null OUTPUT_QUIET ERROR_QUIET)
  execute_process(COMMAND ${WINESERVER} --wait
                  INPUT_FILE /dev/null OUTPUT_QUIET ERROR_QUIET TIMEOUT 30)
  # The server works in the prefix, which wineboot fills on the first run.
  file(MAKE_DIRECTORY $ENV{WINEPREFIX})
  # Persistent: the server does not end between two tests.
  execute_process(COMMAND ${WINESERVER} --persistent
                  INPUT_FILE /dev/null
                  OUTPUT_FILE ${LOG_DIR}/wineserver.log
                  ERROR_FILE ${LOG_DIR}/wineserver.log
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "wineserver --persistent failed (${status})")
  endif()
  execute_process(COMMAND ${EMULATOR} wineboot --init
                  INPUT_FILE /dev/null
                  OUTPUT_FILE ${LOG_DIR}/wine-start.log
                  ERROR_FILE ${LOG_DIR}/wine-start.log
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    file(READ ${LOG_DIR}/wine-start.log log)
    message(FATAL_ERROR "wineboot failed (${status}):\n${log}")
  endif()
elseif(ACTION STREQUAL "stop")
  execute_process(COMMAND ${WINESERVER} --kill
                  INPUT_FILE /dev/null
                  OUTPUT_FILE ${LOG_DIR}/wineserver-stop.log
                  ERROR_FILE ${LOG_DIR}/wineserver-stop.log)
  # --wait: returns once the server has ended.
  execute_process(COMMAND ${WINESERVER} --wait
                  INPUT_FILE /dev/null
                  OUTPUT_FILE ${LOG_DIR}/wineserver-stop.log
                  ERROR_FILE ${LOG_DIR}/wineserver-stop.log
                  TIMEOUT 30)
else()
  message(FATAL_ERROR "ACTION must be start or stop")
endif()
