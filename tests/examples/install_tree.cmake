# Installs the built library into a temporary prefix, builds examples/ against
# that tree alone through find_package(merrow1) and runs the example and the
# quick start.
#
#   cmake -DBUILD_DIR=<build> -DSOURCE_DIR=<source> -DWORK=<scratch dir>
#         -DGENERATOR=<generator> -DCOMPILER=<c++> [-DFLAGS=<cxx and link flags>]
#         -P install_tree.cmake
file(REMOVE_RECURSE "${WORK}")
set(prefix "${WORK}/prefix")

function(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${what} failed (${status}):\n${out}\n${err}")
  endif()
  set(last_out "${out}" PARENT_SCOPE)
endfunction()

# 1. The installed tree.
run("install" ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${prefix}")
foreach(file lib/libmerrow1.so lib/libstend.so lib/libvelte.so include/merrow1/merrow1.h include/velte/ring.h
             lib/cmake/merrow1/merrow1Config.cmake)
  if(NOT EXISTS "${prefix}/${file}")
    message(FATAL_ERROR "the installed tree lacks ${file}")
  endif()
endforeach()
if(EXISTS "${prefix}/include/stend/testing.h")
  message(FATAL_ERROR "test controls of a stand-in were installed")
endif()

# 2. The example on its own, seeing only the installed tree.
run("configure" ${CMAKE_COMMAND} -S "${SOURCE_DIR}/examples" -B "${WORK}/build" -G "${GENERATOR}"
    "-DCMAKE_CXX_COMPILER=${COMPILER}" "-DCMAKE_PREFIX_PATH=${prefix}" "-DCMAKE_CXX_FLAGS=${FLAGS}"
    "-DCMAKE_EXE_LINKER_FLAGS=${FLAGS}")
file(STRINGS "${WORK}/build/CMakeCache.txt" found REGEX "^merrow1_DIR:")
if(NOT found MATCHES "${prefix}/lib/cmake/merrow1")
  message(FATAL_ERROR "find_package(merrow1) did not take the installed tree: ${found}")
endif()
run("build" ${CMAKE_COMMAND} --build "${WORK}/build" -j 2)

# 3. The example runs on a shipped listing, and the quick start runs.
run("the example" "${WORK}/build/merrow1_boolean" union "${SOURCE_DIR}/examples/two_squares.txt" "${WORK}/out.dump")
if(NOT last_out MATCHES "1 result chains.*total area: 7[^.0-9]")
  message(FATAL_ERROR "unexpected output of the example:\n${last_out}")
endif()
run("the quick start" "${WORK}/build/quick_start")
if(NOT last_out MATCHES "pass 1: 2 chains, area -4013\\.735.*union: 1 chains, area 10500\\.000")
  message(FATAL_ERROR "unexpected output of the quick start:\n${last_out}")
endif()
file(REMOVE_RECURSE "${WORK}")
