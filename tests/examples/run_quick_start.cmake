# Runs a program without arguments and checks that it exits with 0 and that
# its stdout matches OUT.
#
#   cmake -DPROGRAM=<exe> -DOUT=<regex> [-DEMULATOR=<cmd>] -P run_quick_start.cmake
execute_process(COMMAND ${EMULATOR} "${PROGRAM}" RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status STREQUAL "0" OR NOT out MATCHES "${OUT}")
  message(FATAL_ERROR "exit status ${status}, expected 0; stdout must match: ${OUT}\n--- stdout:\n${out}--- stderr:\n${err}")
endif()
