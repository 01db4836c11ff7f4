# Cross-compiles the installer for 32-bit Windows with Debian's mingw-w64.
# The posix-thread variant is used because GoogleTest (the end-to-end
# suite) needs std::thread; the installer's decode-ahead workers are plain
# Win32 threads (CreateThread) and need no thread library.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# ctest runs the Win32 test programs through Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
