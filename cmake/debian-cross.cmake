# Cross-building for a Debian architecture whose libraries are installed
# through multiarch (the target's SDL headers in place of the host's own):
#   cmake -S . -B build-s390x --toolchain cmake/debian-cross.cmake -DCROSS_ARCH=s390x
# An architecture is its Debian name alone: dpkg-architecture gives the rest.
set(CMAKE_TRY_COMPILE_PLATFORM_VARIABLES CROSS_ARCH)
if(NOT CROSS_ARCH)
  message(FATAL_ERROR "set CROSS_ARCH to a Debian architecture, such as arm64")
endif()
foreach(fact GNU_TYPE GNU_CPU MULTIARCH)
  execute_process(
    COMMAND dpkg-architecture -a ${CROSS_ARCH} -q DEB_HOST_${fact}
    OUTPUT_VARIABLE ${fact} OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET
    COMMAND_ERROR_IS_FATAL ANY)
endforeach()

set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ${GNU_CPU})
set(CMAKE_C_COMPILER ${GNU_TYPE}-gcc)
set(CMAKE_CXX_COMPILER ${GNU_TYPE}-g++)

# pkg-config reads the target's .pc files only, never the host's.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/${MULTIARCH}/pkgconfig:/usr/share/pkgconfig)

# ctest, gtest discovery and the Python tests run the target's programs
# through qemu-user, which finds the target's loader and libraries under /.
# qemu names its programs for the GNU CPU, but for two.
string(REGEX REPLACE "^i[3-6]86$" i386 qemu_cpu ${GNU_CPU})
string(REPLACE powerpc64le ppc64le qemu_cpu ${qemu_cpu})
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-${qemu_cpu} -L /)
