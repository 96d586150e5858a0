# Runs a ZEX exerciser through cpm_run and passes only when the run ends, every
# one of its 67 tests reports OK, none reports ERROR, and it says it completed.
# Usage: cmake -DCPM_RUN=... -DPROGRAM=... -P check_zex.cmake
execute_process(COMMAND ${CPM_RUN} ${PROGRAM} OUTPUT_VARIABLE out RESULT_VARIABLE rc)
message("${out}")
string(REGEX MATCHALL "\\.\\.\\.\\.  OK" oks "${out}")
list(LENGTH oks okCount)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cpm_run exited with ${rc}")
endif()
if(out MATCHES "ERROR")
  message(FATAL_ERROR "a test reported ERROR")
endif()
if(NOT okCount EQUAL 67 OR NOT out MATCHES "Tests complete")
  message(FATAL_ERROR "${okCount} of 67 tests reported OK")
endif()
