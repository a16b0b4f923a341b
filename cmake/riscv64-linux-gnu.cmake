# Cross-build for Linux on 64-bit RISC-V,
# with Debian's g++-riscv64-linux-gnu; the tests run under qemu-riscv64-static.
#
#   cmake -S . -B build-riscv64 -DCMAKE_TOOLCHAIN_FILE=cmake/riscv64-linux-gnu.cmake
set(SONDRAX_CROSS_TRIPLET riscv64-linux-gnu)
set(SONDRAX_CROSS_PROCESSOR riscv64)
set(SONDRAX_CROSS_QEMU qemu-riscv64-static)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
