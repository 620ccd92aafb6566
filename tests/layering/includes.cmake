# Reads the include lines of every library source under FOLDERS (below
# SOURCE_DIR) and fails on
#  - an include whose path climbs ("../"): a folder includes another folder's
#    private header as "folder/file.h", which its include view then allows or
#    refuses;
#  - an include of internal/, the lowest folder, that is neither a standard
#    header, a host header nor "internal/..." (the public headers of the library
#    belong to the folders above), unless EXCEPTIONS lists it as
#    "<file> | <included header> | <reason>".
cmake_policy(SET CMP0007 NEW)
cmake_policy(SET CMP0057 NEW)
file(GLOB host_entries RELATIVE ${SOURCE_DIR}/host ${SOURCE_DIR}/host/*)
set(hosts "")
foreach(entry ${host_entries})
  if(IS_DIRECTORY ${SOURCE_DIR}/host/${entry} AND NOT entry STREQUAL "merrow1")
    list(APPEND hosts ${entry})
  endif()
endforeach()

file(STRINGS ${EXCEPTIONS} lines)
set(exceptions "")
foreach(line ${lines})
  if(line MATCHES "^([^#][^ ]*) \\| ([^ ]+) \\| .")
    list(APPEND exceptions "${CMAKE_MATCH_1}:${CMAKE_MATCH_2}")
  endif()
endforeach()

set(faults "")
set(used "")
foreach(folder ${FOLDERS})
  file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/${folder}/*.h ${SOURCE_DIR}/${folder}/*.cpp)
  foreach(source ${sources})
    file(STRINGS ${SOURCE_DIR}/${source} includes REGEX "^[ \t]*#[ \t]*include")
    foreach(include ${includes})
      if(NOT include MATCHES "#[ \t]*include[ \t]*([<\"])([^>\"]+)[>\"]")
        list(APPEND faults "${source}: unreadable include: ${include}")
        continue()
      endif()
      set(quote "${CMAKE_MATCH_1}")
      set(header "${CMAKE_MATCH_2}")
      if(header MATCHES "(^|/)\\.\\./")
        list(APPEND faults "${source}: includes \"${header}\", a path that climbs")
      elseif(folder STREQUAL "internal")
        string(REGEX REPLACE "/.*" "" top "${header}")
        if(quote STREQUAL "<" AND NOT header MATCHES "/")
          # a standard header
        elseif(quote STREQUAL "<" AND top IN_LIST hosts)
          # a host stand-in's public header
        elseif(quote STREQUAL "\"" AND top STREQUAL "internal")
        elseif("${source}:${header}" IN_LIST exceptions)
          list(APPEND used "${source}:${header}")
          message(STATUS "known exception: ${source} includes ${header}")
        else()
          list(APPEND faults "${source}: includes ${header}, which is above internal/")
        endif()
      endif()
    endforeach()
  endforeach()
endforeach()
foreach(exception ${exceptions})
  if(NOT exception IN_LIST used)
    message(STATUS "${exception} is listed in ${EXCEPTIONS} but no longer included: take it off the list")
  endif()
endforeach()
if(faults)
  list(JOIN faults "\n  " text)
  message(FATAL_ERROR "layering faults in the include lines:\n  ${text}")
endif()
