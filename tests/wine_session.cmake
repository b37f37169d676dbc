# Starts (MODE=start) or stops (MODE=stop) the Wine session the Windows
# tests run in: the prefix is made once, and one persistent wine server then
# serves every test, since a server that shuts down between two tests makes
# the second one fail to connect. WINE is the wine64 loader, LOG a file for
# what Wine prints.
get_filename_component(wine_dir "${WINE}" DIRECTORY)
set(server "${wine_dir}/wineserver")
if(MODE STREQUAL "start")
  # The server first, then the prefix: the helper processes that wineboot
  # starts stay up with the server and write to LOG, so no test's program
  # starts them, and none holds a test's output open.
  file(MAKE_DIRECTORY "$ENV{WINEPREFIX}")
  execute_process(COMMAND "${server}" --kill)
  execute_process(COMMAND "${server}" --wait)
  execute_process(COMMAND "${server}" --persistent RESULT_VARIABLE status
                  INPUT_FILE /dev/null OUTPUT_FILE "${LOG}" ERROR_FILE "${LOG}")
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "wineserver --persistent failed: ${status}")
  endif()
  execute_process(COMMAND "${WINE}" wineboot --init RESULT_VARIABLE status
                  INPUT_FILE /dev/null OUTPUT_FILE "${LOG}" ERROR_FILE "${LOG}")
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "wineboot failed: ${status}")
  endif()
else()
  execute_process(COMMAND "${server}" --kill)
endif()
