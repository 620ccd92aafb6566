# Runs merrow1_boolean once and checks what it did.
#
#   cmake -DPROGRAM=<exe> -DARGS=<a|b|...> -DDUMP=<path> -DEXIT=<status>
#         [-DOUT=<regex>] [-DERR=<regex>] [-DHEAD=<hex>]
#         [-DREADER=<exe> -DREAD=<regex>] -P run_merrow1_boolean.cmake
#
# DUMP is the output path handed to the program (the last argument); it is
# removed first.  With EXIT 0 the dump must exist afterwards and, with HEAD,
# start with those bytes (lower-case hex); with READ, the dump reader READER
# must read it back whole and print what matches READ; with any other EXIT
# neither the dump nor its temporary file may exist.  OUT and ERR must match
# stdout and stderr.
file(REMOVE "${DUMP}" "${DUMP}.part")
string(REPLACE "|" ";" ARGS "${ARGS}")
string(REPLACE "|" ";" EMULATOR "${EMULATOR}")
execute_process(COMMAND ${EMULATOR} "${PROGRAM}" ${ARGS} "${DUMP}"
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
set(problems "")
if(NOT status STREQUAL "${EXIT}")
  string(APPEND problems "exit status ${status}, expected ${EXIT}\n")
endif()
if(DEFINED OUT AND NOT out MATCHES "${OUT}")
  string(APPEND problems "stdout does not match: ${OUT}\n")
endif()
if(DEFINED ERR AND NOT err MATCHES "${ERR}")
  string(APPEND problems "stderr does not match: ${ERR}\n")
endif()
if(EXIT EQUAL 0)
  if(NOT EXISTS "${DUMP}")
    string(APPEND problems "no dump written\n")
  elseif(DEFINED HEAD)
    string(LENGTH "${HEAD}" hex_length)
    math(EXPR byte_count "${hex_length} / 2")
    file(READ "${DUMP}" head LIMIT ${byte_count} HEX)
    if(NOT head STREQUAL "${HEAD}")
      string(APPEND problems "dump starts with ${head}, expected ${HEAD}\n")
    endif()
  endif()
  if(EXISTS "${DUMP}" AND DEFINED READ)
    execute_process(COMMAND ${EMULATOR} "${READER}" "${DUMP}"
                    RESULT_VARIABLE read_status OUTPUT_VARIABLE read_out ERROR_VARIABLE read_err)
    if(NOT read_status STREQUAL "0")
      string(APPEND problems "the dump did not read back (status ${read_status}): ${read_err}\n")
    elseif(NOT read_out MATCHES "${READ}")
      string(APPEND problems "the dump read back as:\n${read_out}which does not match: ${READ}\n")
    endif()
  endif()
elseif(EXISTS "${DUMP}" OR EXISTS "${DUMP}.part")
  string(APPEND problems "a dump was left behind after a failure\n")
endif()
if(problems)
  message(FATAL_ERROR "${problems}--- stdout:\n${out}--- stderr:\n${err}")
endif()
