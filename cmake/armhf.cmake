# cmake -S . -B build-armhf --toolchain cmake/armhf.cmake
set(CROSS_TRIPLET arm-linux-gnueabihf)
set(CROSS_PROCESSOR arm)
set(CROSS_QEMU qemu-arm)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
