# 32-bit x86 build on a 64-bit Debian host with the multilib compiler and the
# i386 packages of GMP and GoogleTest (scripts/setup installs them).
#
# Double arithmetic runs in SSE2, never in the x87 unit: the exact filters'
# error bounds assume IEEE double rounding, which x87 extended precision
# breaks.  -malign-double is not used, as it changes the system ABI.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)

set(CMAKE_C_FLAGS_INIT "-m32 -msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-m32 -msse2 -mfpmath=sse")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-m32")

# Look for libraries and packages in the i386 folders only, so a 64-bit
# GMP or GoogleTest is never picked up.
set(CMAKE_FIND_ROOT_PATH /usr/lib/i386-linux-gnu /usr)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
set(CMAKE_IGNORE_PATH /usr/lib/x86_64-linux-gnu /usr/lib/x86_64-linux-gnu/cmake /usr/lib/x86_64-linux-gnu/cmake/GTest)
