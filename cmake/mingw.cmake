# The common part of the Windows cross-builds with MinGW-w64 (cmake/mingw-<processor>.cmake sets
# SONDRAX_MINGW_PREFIX and CMAKE_SYSTEM_PROCESSOR, then includes this file).
#
# The C and C++ runtimes (libgcc, libstdc++, winpthread) are linked statically, so the .exe
# needs nothing but the system DLLs of a bare Windows. The tests run under wine through
# tools/wine-run.sh (tests/CMakeLists.txt).
set(CMAKE_SYSTEM_NAME Windows)

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
