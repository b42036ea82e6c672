# Cross-builds the Windows kivorama.exe on Linux with Debian's mingw-w64
# (package g++-mingw-w64-x86-64-posix); programs built here, the tests among
# them, run under wine:
#   cmake -S . -B build-win --toolchain win/mingw-w64.cmake
#   cmake --build build-win -j2
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(kivo_mingw x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${kivo_mingw}-gcc-posix)
set(CMAKE_CXX_COMPILER ${kivo_mingw}-g++-posix)
set(CMAKE_RC_COMPILER ${kivo_mingw}-windres)

# Headers and libraries come from the Windows tree only, programs from the
# build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${kivo_mingw})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR wine)
