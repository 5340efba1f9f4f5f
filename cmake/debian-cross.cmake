# Cross-building for a Debian architecture whose libraries are installed
# through multiarch (the SDL headers of ARCH in place of the host's own). The
# including toolchain file sets CROSS_TRIPLET, CROSS_PROCESSOR and CROSS_QEMU,
# and CROSS_MULTIARCH where the libraries' folder is named otherwise.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ${CROSS_PROCESSOR})
set(CMAKE_C_COMPILER ${CROSS_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${CROSS_TRIPLET}-g++)

# pkg-config reads the target's .pc files only, never the host's.
if(NOT CROSS_MULTIARCH)
  set(CROSS_MULTIARCH ${CROSS_TRIPLET})
endif()
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/${CROSS_MULTIARCH}/pkgconfig:/usr/share/pkgconfig)

# ctest, gtest discovery and the Python tests run the target's programs
# through qemu-user, which finds the target's loader and libraries under /.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CROSS_QEMU} -L /)
