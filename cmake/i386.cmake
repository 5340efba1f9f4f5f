# cmake -S . -B build-i386 --toolchain cmake/i386.cmake
set(CROSS_TRIPLET i686-linux-gnu)
set(CROSS_MULTIARCH i386-linux-gnu)
set(CROSS_PROCESSOR i686)
set(CROSS_QEMU qemu-i386)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
