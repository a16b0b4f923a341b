# Cross-build for Linux on IBM Z (s390x, big-endian),
# with Debian's g++-s390x-linux-gnu; the tests run under qemu-s390x-static.
#
#   cmake -S . -B build-s390x -DCMAKE_TOOLCHAIN_FILE=cmake/s390x-linux-gnu.cmake
set(SONDRAX_CROSS_TRIPLET s390x-linux-gnu)
set(SONDRAX_CROSS_PROCESSOR s390x)
set(SONDRAX_CROSS_QEMU qemu-s390x-static)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
