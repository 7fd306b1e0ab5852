# Cross-builds for 64-bit Windows with Debian's mingw-w64 (the posix thread model).
# Usage: cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(HALVIK_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${HALVIK_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${HALVIK_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${HALVIK_MINGW_PREFIX}-windres)

# Libraries and packages come from the cross root (and from prefixes the caller adds, such
# as a GoogleTest built for Windows); programs run on this machine.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${HALVIK_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every executable links the C++ runtime and winpthread statically, so that it needs no DLL
# beyond the system's own.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Tests run under Wine when it is there.
find_program(HALVIK_WINE wine)
if(HALVIK_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${HALVIK_WINE})
endif()
