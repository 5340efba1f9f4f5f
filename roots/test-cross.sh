#!/bin/bash
# The whole suite on other architectures, cross-built and run under
# qemu-user. Each architecture gets a pristine Debian root of its own
# (root-lib.sh), since the -dev packages of two architectures conflict with
# each other and with the machine's, which stay as they are; there the clone
# runs roots/test-arch.sh. Ends with a table: architecture, release, result,
# time.
#
# Usage: test-cross.sh
#   CROSS_RELEASES  the Debian releases (default: those releases.txt
#                   cross-tests)
#   CROSS_ARCHES    the architectures, on each (default: the release's own
#                   in releases.txt; arm64, armhf or i386)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/roots/root-lib.sh"
read -ra releases <<<"${CROSS_RELEASES:-$("$top/pylib/release.sh" list cross | paste -sd' ')}"

for release in "${releases[@]}"; do
    read -ra archs <<<"${CROSS_ARCHES:-$("$top/pylib/release.sh" cross "$release")}"
    for arch in "${archs[@]}"; do
        echo "== $arch, $release ==" >&2
        name=cross-$release-$arch
        status=0
        # Every package from the release's main archive: multiarch wants a
        # package at one version on both architectures, and a security
        # archive's index for another architecture can be out of step with
        # its Release file, which stops apt.
        { root_new "$name" "$release" --no-security &&
            root_run "$name" "./roots/test-arch.sh $arch"; } >"$ROOTS/$name.log" 2>&1 || status=$?
        record "$status" "$ROOTS/$name.log" "$arch" "$release"
    done
done

table architecture Debian result time
