# Cross-build for Linux on 64-bit ARM (little-endian),
# with Debian's g++-aarch64-linux-gnu; the tests run under qemu-aarch64-static.
#
#   cmake -S . -B build-aarch64 -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake
set(SONDRAX_CROSS_TRIPLET aarch64-linux-gnu)
set(SONDRAX_CROSS_PROCESSOR aarch64)
set(SONDRAX_CROSS_QEMU qemu-aarch64-static)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
