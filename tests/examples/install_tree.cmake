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
# The error service's records are for host programs too; the other
# stand-ins' test controls stay out of the tree.
if(NOT EXISTS "${prefix}/include/stend/testing.h" OR NOT EXISTS "${prefix}/include/stend/testing_om.h")
  message(FATAL_ERROR "the installed tree lacks the error service's record header")
endif()
if(EXISTS "${prefix}/include/sorrel/testing.h")
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

# 4. STEND_CHECKING: the example reads a listing with a comma for a blank;
#    with the variable set the reader's note reaches standard error with its
#    source file and line, without it nothing is printed.
file(WRITE "${WORK}/comma.txt" "The chain is a closed chain\nChain type is OFFSET_CHAIN with 3 vertices\npoint: 35,52\n")
foreach(setting "--unset=STEND_CHECKING" "STEND_CHECKING=1")
  execute_process(COMMAND ${CMAKE_COMMAND} -E env ${setting} "${WORK}/build/merrow1_boolean" union "${WORK}/comma.txt"
                          "${WORK}/comma.dump"
                  OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(setting STREQUAL "STEND_CHECKING=1")
    if(NOT err MATCHES "chain_load\\.cpp:[0-9]+: note: Chain listing: line 3: expected two numbers after \"point:\"")
      message(FATAL_ERROR "STEND_CHECKING=1 printed no note of the listing:\n${err}")
    endif()
  elseif(err MATCHES "note: ")
    message(FATAL_ERROR "notes printed without STEND_CHECKING:\n${err}")
  endif()
endforeach()

# 5. A host program of its own reads the records through the installed
#    <stend/testing.h>; STEND_CHECKING sets the checking level at load, so the
#    builder's refusal of a radius that is not finite is noted.
file(WRITE "${WORK}/records/CMakeLists.txt" "cmake_minimum_required(VERSION 3.16)
project(records LANGUAGES CXX)
set(CMAKE_CXX_STANDARD 17)
find_package(merrow1 REQUIRED)
add_executable(records records.cpp)
target_link_libraries(records PRIVATE merrow1::merrow1 merrow1::stend)
")
file(WRITE "${WORK}/records/records.cpp" "#include <merrow1/chain_create.h>
#include <stend/system.h>
#include <stend/testing.h>
#include <velte/cmem.h>
#include <cmath>
#include <cstdio>
int main() {
    CMEM_pool_s* pool = CMEM_private_create_pool(0, \"records\", __LINE__, __FILE__);
    const Korvo::Math::Point2 centre = {0, 0};
    const Korvo::Math::Vector2 start = {1, 0};
    const bool refused = CHAIN_create_circle_chain(nullptr, NAN, &centre, &start, CCW, pool) == nullptr;
    std::printf(\"level %d refused %d\\n\", MACH__checking_level, refused ? 1 : 0);
    for (const stend_test::Record& r : stend_test::records()) std::printf(\"record: %s\\n\", r.text.c_str());
    CMEM_private_delete_pool(pool);
    return 0;
}
")
run("configure the records program" ${CMAKE_COMMAND} -S "${WORK}/records" -B "${WORK}/records/build" -G "${GENERATOR}"
    "-DCMAKE_CXX_COMPILER=${COMPILER}" "-DCMAKE_PREFIX_PATH=${prefix}" "-DCMAKE_CXX_FLAGS=${FLAGS}"
    "-DCMAKE_EXE_LINKER_FLAGS=${FLAGS}")
run("build the records program" ${CMAKE_COMMAND} --build "${WORK}/records/build")
run("the records program" ${CMAKE_COMMAND} -E env STEND_CHECKING=2 "${WORK}/records/build/records")
if(NOT last_out MATCHES "level 2 refused 1\nrecord: Assertion failed: DUE_TO_RADIUS_NOT_FINITE \\(CHAIN_create_circle_chain: radius\\)")
  message(FATAL_ERROR "unexpected output of the records program:\n${last_out}")
endif()
file(REMOVE_RECURSE "${WORK}")
