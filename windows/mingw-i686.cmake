# Cross-building the Windows program with Debian's MinGW-w64 for 32-bit
# Windows: cmake -DCMAKE_TOOLCHAIN_FILE=windows/mingw-i686.cmake. The posix
# thread variant of the compiler gives the standard library its threads and
# links its runtime statically. Programs built here run under wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

find_program(QUORVEX_WINE wine REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${QUORVEX_WINE})
