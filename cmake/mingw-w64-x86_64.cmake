# Cross-compiles a 64-bit Windows program with Debian's mingw-w64 (the posix
# thread model, whose C++ library has std::thread for GoogleTest) and runs
# what the build and CTest start under Wine, through cmake/wine.sh.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static: the .exe needs no DLL beyond the system's (no libstdc++, libgcc or
# winpthread DLLs beside it).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Wine's 64-bit loader, which Debian does not put on the PATH.
set(CMAKE_CROSSCOMPILING_EMULATOR sh ${CMAKE_CURRENT_LIST_DIR}/wine.sh)
