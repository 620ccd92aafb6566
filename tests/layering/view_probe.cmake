# Compiles one-line probes against an object library's include directories
# (INCLUDES): each header of SEEN must compile, each of UNSEEN (a private
# header of a folder above) must not be found.
cmake_policy(SET CMP0007 NEW)
cmake_policy(SET CMP0057 NEW)
set(flags "")
foreach(dir ${INCLUDES})
  list(APPEND flags "-I${dir}")
endforeach()
set(probe ${WORK_DIR}/view_probe.cpp)
set(faults "")
foreach(header ${SEEN} ${UNSEEN})
  file(WRITE ${probe} "#include \"${header}\"\n")
  execute_process(COMMAND ${CXX} -std=c++17 -fsyntax-only ${flags} ${probe}
                  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(header IN_LIST SEEN AND NOT status EQUAL 0)
    list(APPEND faults "\"${header}\" should be seen and is not:\n${out}")
  elseif(header IN_LIST UNSEEN)
    # Refused only when the compiler did not find it (any other error proves nothing).
    if(status EQUAL 0 OR NOT out MATCHES "${header}'?:? (No such file or directory|file not found)")
      list(APPEND faults "\"${header}\" is seen, but it is a private header of a folder above:\n${out}")
    endif()
  endif()
endforeach()
if(faults)
  list(JOIN faults "\n  " text)
  message(FATAL_ERROR "include view: ${text}")
endif()
