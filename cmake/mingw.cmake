# Cross-build of the 32-bit Windows console program (sondrax.exe) with MinGW-w64.
#
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
#
# The C and C++ runtimes (libgcc, libstdc++, winpthread) are linked statically, so the .exe
# needs nothing but the system DLLs of a bare Windows. Tests run through wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(SONDRAX_MINGW_PREFIX i686-w64-mingw32)
# The POSIX thread model: GoogleTest needs std::mutex, which the win32 model of GCC 12 lacks.
set(CMAKE_C_COMPILER ${SONDRAX_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${SONDRAX_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${SONDRAX_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${SONDRAX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# CTest runs every test executable through wine; WINEDEBUG and WINEPREFIX come from the
# caller's environment.
find_program(SONDRAX_WINE wine)
if(SONDRAX_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${SONDRAX_WINE})
endif()
