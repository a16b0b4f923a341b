# Cross-build of the 32-bit Windows console program (sondrax.exe) with MinGW-w64: the one the
# README leads with, since it runs on every Windows.
#
#   cmake --preset win32      (or -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake)
set(SONDRAX_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
