#!/bin/sh
# Cross-builds the programs and their tests for another Debian architecture,
# given by its name (arm64, s390x...), into build-ARCH and runs the whole
# suite there, every program of ours under qemu-user. The target's SDL headers, installed
# through multiarch, take the place of the machine's own: this is meant for
# a root of test-cross.sh, not for a developer's machine.
#
# Usage: test-arch.sh ARCH
set -eu
cd "$(dirname "$0")/.."
[ $# -eq 1 ] || { echo "usage: test-arch.sh ARCH" >&2; exit 1; }
arch=$1

./user/install-deps.sh cross "$arch"
cmake -S . -B "build-$arch" --toolchain cmake/debian-cross.cmake -DCROSS_ARCH="$arch"
cmake --build "build-$arch" -j2
cd "build-$arch"
ctest --output-on-failure -j2
