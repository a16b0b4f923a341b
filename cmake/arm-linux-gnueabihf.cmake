# Cross-build for Linux on 32-bit ARM with hardware floating point (armhf),
# with Debian's g++-arm-linux-gnueabihf; the tests run under qemu-arm-static.
#
#   cmake -S . -B build-arm -DCMAKE_TOOLCHAIN_FILE=cmake/arm-linux-gnueabihf.cmake
set(SONDRAX_CROSS_TRIPLET arm-linux-gnueabihf)
set(SONDRAX_CROSS_PROCESSOR arm)
set(SONDRAX_CROSS_QEMU qemu-arm-static)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
