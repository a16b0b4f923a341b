# The common part of the Linux cross-builds (cmake/<triplet>.cmake sets SONDRAX_CROSS_TRIPLET,
# SONDRAX_CROSS_PROCESSOR and SONDRAX_CROSS_QEMU, then includes this file), made with Debian's
# cross compilers (g++-<triplet>).
#
# Every executable, the tests included, is linked statically, so that qemu's user-mode emulator
# runs it without the target's shared libraries. CTest starts each test executable through qemu,
# and the tests that start the sondrax executable themselves put the same emulator in front of
# it (SONDRAX_EMULATOR in tests/CMakeLists.txt).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ${SONDRAX_CROSS_PROCESSOR})

set(CMAKE_C_COMPILER ${SONDRAX_CROSS_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${SONDRAX_CROSS_TRIPLET}-g++)

set(CMAKE_FIND_ROOT_PATH /usr/${SONDRAX_CROSS_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

find_program(SONDRAX_QEMU ${SONDRAX_CROSS_QEMU})
if(SONDRAX_QEMU)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${SONDRAX_QEMU})
endif()
