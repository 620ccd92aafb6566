# Runs merrow1_boolean once and checks what it did.
#
#   cmake -DPROGRAM=<exe> -DARGS=<a|b|...> -DDUMP=<path> -DEXIT=<status>
#         [-DOUT=<regex>] [-DERR=<regex>] [-DHEAD=<hex>]
#         [-DREADER=<exe> -DREAD=<regex>]
#         [-DSVG=<path> -DSVG_READER=<exe> [-DSVG_READ=<regex>]] -P run_merrow1_boolean.cmake
#
# DUMP is the output path handed to the program (the last argument); it is
# removed first.  With EXIT 0 the dump must exist afterwards and, with HEAD,
# start with those bytes (lower-case hex); with READ, the dump reader READER
# must read it back whole and print what matches READ; with any other EXIT
# neither the dump nor its temporary file may exist.  OUT and ERR must match
# stdout and stderr.
#
# With SVG the program is also asked for a picture (--svg <path> after the
# dump path).  With EXIT 0 the picture reader SVG_READER must find it well
# formed, with one path in its inputs for each input chain and one in its
# results for each result chain that stdout reports ("<n> chains:" or
# "(<n> chains):", and "<m> result chains"), and print what matches SVG_READ;
# with any other EXIT neither the picture nor its temporary file may exist.
file(REMOVE "${DUMP}" "${DUMP}.part")
string(REPLACE "|" ";" ARGS "${ARGS}")
string(REPLACE "|" ";" EMULATOR "${EMULATOR}")
set(picture_args "")
if(DEFINED SVG)
  file(REMOVE "${SVG}" "${SVG}.part")
  set(picture_args --svg "${SVG}")
endif()
execute_process(COMMAND ${EMULATOR} "${PROGRAM}" ${ARGS} "${DUMP}" ${picture_args}
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
set(problems "")
# Runs a reader on an output: its stdout in out_var, or a problem and out_var unset.
function(read_back reader file failure out_var)
  execute_process(COMMAND ${EMULATOR} "${reader}" "${file}"
                  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(status STREQUAL "0")
    set(${out_var} "${out}" PARENT_SCOPE)
  else()
    unset(${out_var} PARENT_SCOPE)
    set(problems "${problems}${failure} (status ${status}): ${err}\n" PARENT_SCOPE)
  endif()
endfunction()
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
    read_back("${READER}" "${DUMP}" "the dump did not read back" read_out)
    if(DEFINED read_out AND NOT read_out MATCHES "${READ}")
      string(APPEND problems "the dump read back as:\n${read_out}which does not match: ${READ}\n")
    endif()
  endif()
  if(DEFINED SVG)
    if(NOT EXISTS "${SVG}")
      string(APPEND problems "no picture written\n")
    else()
      read_back("${SVG_READER}" "${SVG}" "the picture is not well formed" svg_out)
      if(NOT DEFINED svg_out)
      elseif(NOT svg_out MATCHES "([0-9]+) input paths, ([0-9]+) result paths")
        string(APPEND problems "the picture reader printed: ${svg_out}\n")
      else()
        set(input_paths ${CMAKE_MATCH_1})
        set(result_paths ${CMAKE_MATCH_2})
        if(NOT out MATCHES "([0-9]+) chains\\)?:")
          string(APPEND problems "stdout reports no input chain count\n")
        elseif(NOT input_paths EQUAL CMAKE_MATCH_1)
          string(APPEND problems "the picture has ${input_paths} input paths for ${CMAKE_MATCH_1} input chains\n")
        endif()
        if(NOT out MATCHES "([0-9]+) result chains")
          string(APPEND problems "stdout reports no result chain count\n")
        elseif(NOT result_paths EQUAL CMAKE_MATCH_1)
          string(APPEND problems "the picture has ${result_paths} result paths for ${CMAKE_MATCH_1} result chains\n")
        endif()
        if(DEFINED SVG_READ AND NOT svg_out MATCHES "${SVG_READ}")
          string(APPEND problems "the picture reads as: ${svg_out}which does not match: ${SVG_READ}\n")
        endif()
      endif()
    endif()
  endif()
else()
  if(EXISTS "${DUMP}" OR EXISTS "${DUMP}.part")
    string(APPEND problems "a dump was left behind after a failure\n")
  endif()
  if(DEFINED SVG AND (EXISTS "${SVG}" OR EXISTS "${SVG}.part"))
    string(APPEND problems "a picture was left behind after a failure\n")
  endif()
endif()
if(problems)
  message(FATAL_ERROR "${problems}--- stdout:\n${out}--- stderr:\n${err}")
endif()
