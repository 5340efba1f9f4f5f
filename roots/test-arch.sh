#!/bin/sh
# Cross-builds the programs and their tests for another Debian architecture
# (arm64, armhf, i386) into build-ARCH and runs the whole suite there, every
# program of ours under qemu-user. The target's SDL headers, installed
# through multiarch, takes the place of the machine's own: this is meant for
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

# Native: the tools, Xvfb and what reads the window back, and the machine's
# own SDL runtime, which pylib/sdl_stack.py loads to name the stack (multiarch
# keeps it at the very version of the target's).
runtime=$(pylib/release.sh sdl-runtime)
dev=$(pylib/release.sh sdl-dev)
dpkg --add-architecture "$arch"
apt-get update
# The formatter where the archives have it: the format test, the same on
# every architecture, is left out where they don't.
formatter=""
! apt-cache show clang-format-22 >/dev/null 2>&1 || formatter=clang-format-22
DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends \
    cmake make pkg-config python3 ${formatter:+"$formatter"} xvfb x11-utils x11-apps openbox qemu-user \
    shellcheck pyflakes3 \
    "g++-$triplet" "$runtime" "$dev:$arch" "libx11-dev:$arch" "libgtest-dev:$arch"

cmake -S . -B "build-$arch" --toolchain "cmake/$arch.cmake"
cmake --build "build-$arch" -j2
cd "build-$arch"
ctest --output-on-failure -j2
