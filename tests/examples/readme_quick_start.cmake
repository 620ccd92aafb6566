# Checks that the quick start printed in the README is the program the tests
# build and run: the first ```cpp block after "## Quick start" must equal
# examples/quick_start.cpp.
#
#   cmake -DSOURCE_DIR=<source> -P readme_quick_start.cmake
file(READ "${SOURCE_DIR}/README.md" readme)
file(READ "${SOURCE_DIR}/examples/quick_start.cpp" program)
string(FIND "${readme}" "## Quick start" at)
if(at LESS 0)
  message(FATAL_ERROR "README.md has no quick start section")
endif()
string(SUBSTRING "${readme}" ${at} -1 readme)
string(FIND "${readme}" "```cpp\n" start)
string(FIND "${readme}" "\n```\n" end)
if(start LESS 0 OR end LESS start)
  message(FATAL_ERROR "the quick start section of README.md holds no ```cpp block")
endif()
math(EXPR start "${start} + 7")
math(EXPR length "${end} + 1 - ${start}")
string(SUBSTRING "${readme}" ${start} ${length} block)
if(NOT block STREQUAL program)
  message(FATAL_ERROR "the quick start in README.md differs from examples/quick_start.cpp")
endif()
