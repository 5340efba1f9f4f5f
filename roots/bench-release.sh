#!/bin/bash
# Runs `make bench` on the stacks of another Debian release, in a pristine
# minbase root of it under BUILD/roots, from a clean clone of this
# repository's last commit. Its reports, raw rows and plots (every file named
# BENCHMARK-STACK.EXT) come back to BUILD/bench/RELEASE.
#
# Usage: bench-release.sh RELEASE BUILD
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
release=$1
build=$(cd "$2" && pwd)
root="$build/roots/$release"
"$top/roots/debian-root.sh" "$release" "$root"
git clone -q "$top" "$root/root/demos"
"$top/roots/in-root.sh" "$root" /bin/sh -c \
    'cd /root/demos && ./user/install-deps.sh bench && make bench'
mkdir -p "$build/bench/$release"
cp "$root"/root/demos/build/bench/*-*.* "$build/bench/$release/"
