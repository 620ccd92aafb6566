# The floor plan, lowest first: a folder's code calls and includes downward.
# Each object library sees the public headers, the host headers and, through a
# view of the source tree made in the build tree (one symbolic link per
# folder), the private headers of its own folder and the folders below it
# only, so an include that climbs fails to compile.  Its object libraries
# (merrow1_<folder> and merrow1_<folder>_<part>) all belong to the folder.
set(MERROW1_LAYERS internal exact chain polyset chainops offset engines services legacy)
# The private headers a folder takes from a folder above it, for the upward
# calls the design makes (<folder>:<header>); tests/layering/upward_calls.txt
# lists the calls themselves.
set(MERROW1_UPWARD_HEADERS
  # The region offsets fillet their regions with the fillets of the offsets.
  chainops:offset/chain_fillet_internal.h)
function(merrow1_include_view folder out)
  set(view ${CMAKE_BINARY_DIR}/include_views/${folder})
  file(MAKE_DIRECTORY ${view})
  set(below TRUE)
  foreach(layer ${MERROW1_LAYERS})
    if(below)
      file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${layer} ${view}/${layer} SYMBOLIC)
    elseif(IS_SYMLINK ${view}/${layer})
      file(REMOVE ${view}/${layer})
    elseif(IS_DIRECTORY ${view}/${layer})
      # Links of upward headers no longer listed go; the listed come back below.
      file(GLOB_RECURSE links LIST_DIRECTORIES false ${view}/${layer}/*)
      if(links)
        file(REMOVE ${links})
      endif()
    endif()
    if(layer STREQUAL folder)
      set(below FALSE)
    endif()
  endforeach()
  foreach(entry ${MERROW1_UPWARD_HEADERS})
    if(entry MATCHES "^${folder}:(.*)$")
      get_filename_component(dir ${view}/${CMAKE_MATCH_1} DIRECTORY)
      file(MAKE_DIRECTORY ${dir})
      file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${CMAKE_MATCH_1} ${view}/${CMAKE_MATCH_1} SYMBOLIC)
    endif()
  endforeach()
  set(${out} ${view} PARENT_SCOPE)
endfunction()
