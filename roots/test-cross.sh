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
#                   in releases.txt, those the archive serves and those it
#                   does not, whose rows say so)
#   CROSS_QUICK=1   CI's share: on each release, the first architecture
#                   served of each kind (word size, byte order) but the
#                   machine's own, which the machine's own runs prove, on the
#                   default stack alone
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/roots/root-lib.sh"
"$top/user/install-deps.sh" arch-facts
release() { "$top/pylib/release.sh" "$@"; }
read -ra releases <<<"${CROSS_RELEASES:-$(release list cross | paste -sd' ')}"

kind() { # ARCH: its word size and byte order, as 64-big
    echo "$(dpkg-architecture -a "$1" -q DEB_HOST_ARCH_BITS 2>/dev/null)-$(
        dpkg-architecture -a "$1" -q DEB_HOST_ARCH_ENDIAN 2>/dev/null)"
}

# The release's architectures to run: CROSS_ARCHES, or all it lists, served
# or not; with CROSS_QUICK, the first one served of each kind.
architectures() { # RELEASE
    local arch kind seen
    if [ -n "${CROSS_ARCHES:-}" ]; then
        echo "$CROSS_ARCHES"
    elif [ -z "${CROSS_QUICK:-}" ]; then
        echo "$(release cross "$1") $(release cross-unserved "$1")"
    else
        seen=$(kind "$(dpkg --print-architecture)")
        for arch in $(release cross "$1"); do
            kind=$(kind "$arch")
            case $seen in
            *"$kind"*) ;;
            *) echo "$arch" && seen="$seen $kind" ;;
            esac
        done
    fi
}

for release in "${releases[@]}"; do
    for arch in $(architectures "$release"); do
        echo "== $arch, $release ==" >&2
        name=cross-$release-$arch
        status=0
        # Every package from the release's main archive: multiarch wants a
        # package at one version on both architectures, and a security
        # archive's index for another architecture can be out of step with
        # its Release file, which stops apt.
        { root_new "$name" "$release" --no-security &&
            root_run "$name" "CROSS_QUICK=${CROSS_QUICK:-} ./roots/test-arch.sh $arch"; } >"$ROOTS/$name.log" 2>&1 ||
            status=$?
        root_drop "$name"
        record "$status" "$ROOTS/$name.log" "$arch" "$release"
    done
done

table architecture Debian result time
