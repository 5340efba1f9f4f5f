#!/bin/sh
# Cross-builds the programs and their tests for another Debian architecture
# (arm64, armhf, i386) into build-ARCH and runs the whole suite there, every
# program of ours under qemu-user. The target's SDL headers, installed
# through multiarch, take the place of the machine's own: this is meant for
# a root of test-cross.sh, not for a developer's machine.
#
# Usage: test-arch.sh ARCH
set -eu
cd "$(dirname "$0")/.."
[ $# -eq 1 ] || { echo "usage: test-arch.sh ARCH" >&2; exit 1; }
arch=$1
case $arch in
arm64) triplet=aarch64-linux-gnu ;;
armhf) triplet=arm-linux-gnueabihf ;;
i386) triplet=i686-linux-gnu ;;
*) echo "unknown architecture: $arch (arm64, armhf or i386)" >&2 && exit 1 ;;
esac

./user/install-deps.sh cross "$arch" "$triplet"
cmake -S . -B "build-$arch" --toolchain "cmake/$arch.cmake"
cmake --build "build-$arch" -j2
cd "build-$arch"
ctest --output-on-failure -j2
