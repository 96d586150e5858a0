# Runs a ZEX exerciser through cpm_run. Passes only when the run ends, says it
# completed, and every one of its 67 tests reports OK, except exactly the
# tests named in EXPECTED_ERRORS (test names separated by |), which must
# report ERROR.
# Usage: cmake -DCPM_RUN=... -DPROGRAM=... [-DEXPECTED_ERRORS=...] -P check_zex.cmake
execute_process(COMMAND ${CPM_RUN} ${PROGRAM} OUTPUT_VARIABLE out RESULT_VARIABLE rc)
message("${out}")
if(NOT rc EQUAL 0 OR NOT out MATCHES "Tests complete")
  message(FATAL_ERROR "the run did not complete (cpm_run exited with ${rc})")
endif()
string(REGEX MATCHALL "[^\r\n]*\\.\\.  (OK|ERROR)" results "${out}")
list(LENGTH results count)
if(NOT count EQUAL 67)
  message(FATAL_ERROR "${count} of 67 tests reported a result")
endif()
set(errors "")
foreach(line IN LISTS results)
  if(line MATCHES "^(.*[^.])\\.+  ERROR$")
    list(APPEND errors "${CMAKE_MATCH_1}")
  endif()
endforeach()
string(REPLACE "|" ";" expected "${EXPECTED_ERRORS}")
if(NOT "${errors}" STREQUAL "${expected}")
  message(FATAL_ERROR "tests reporting ERROR: '${errors}', expected: '${expected}'")
endif()
