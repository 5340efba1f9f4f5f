#!/bin/sh
# Cross-builds the programs and their tests for another Debian architecture,
# given by its name (arm64, s390x...), into build-ARCH and runs the whole
# suite there on each SDL stack, every program of ours under qemu-user. The
# target's SDL headers, installed through multiarch, take the place of the
# machine's own: this is meant for a root of test-cross.sh, not for a
# developer's machine.
#
# Usage: test-arch.sh ARCH (CROSS_QUICK=1: the default stack alone)
set -eu
cd "$(dirname "$0")/.."
[ $# -eq 1 ] || { echo "usage: test-arch.sh ARCH" >&2; exit 1; }
arch=$1

# A package rebuilt for one architecture alone ships another changelog at the
# same version, which multiarch refuses to share: no test reads the docs.
echo 'path-exclude=/usr/share/doc/*' >/etc/dpkg/dpkg.cfg.d/cross-no-docs
# The archive may list the target's packages and not hold their files:
# exit status 3 says it serves no libc6 for the architecture.
./user/install-deps.sh cross "$arch" || {
    status=$?
    (cd /tmp && apt-get download "libc6:$arch") >/dev/null 2>&1 || exit 3
    exit $status
}
cmake -S . -B "build-$arch" --toolchain cmake/debian-cross.cmake -DCROSS_ARCH="$arch"
cmake --build "build-$arch" -j2
ctest --test-dir "build-$arch" --output-on-failure -j2
# The release's second stack too, where it has one, but in CI's share
# (test-cross.sh).
[ -n "${CROSS_QUICK:-}" ] || CROSS_ARCH=$arch python3 -m pylib.each_stack --second \
    ctest --test-dir "build-$arch" --output-on-failure -j2
