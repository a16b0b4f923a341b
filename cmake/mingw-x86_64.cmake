# Cross-build of the 64-bit Windows console program (sondrax.exe) with MinGW-w64. Its tests run
# under wine64, which Debian builds from amd64 packages alone, so they run on a day the archive
# cannot give the 32-bit wine.
#
#   cmake --preset win64      (or -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake)
set(SONDRAX_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
