#!/bin/bash
# The whole suite on other architectures, cross-built and run under
# qemu-user. Each architecture gets a pristine Debian root of its own, since
# the -dev packages of two architectures conflict with each other and with
# the machine's, which stay as they are; in it a clean clone of this
# repository runs roots/test-arch.sh. Ends with a table: architecture,
# release, result, time.
#
# Usage: test-cross.sh
#   CROSS_RELEASES  the Debian releases (default: those releases.txt
#                   cross-tests)
#   CROSS_ARCHES    the architectures, on each (default: the release's own
#                   in releases.txt; arm64, armhf or i386)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
work=${CROSS_DIR:-$top/build/cross}
read -ra releases <<<"${CROSS_RELEASES:-$("$top/pylib/release.sh" list cross | paste -sd' ')}"
mkdir -p "$work"
rows=()
failures=0

for release in "${releases[@]}"; do
    read -ra archs <<<"${CROSS_ARCHES:-$("$top/pylib/release.sh" cross "$release")}"
    for arch in "${archs[@]}"; do
        echo "== $arch, $release ==" >&2
        root=$work/$release-$arch
        log=$work/$release-$arch.log
        start=$SECONDS
        "$top/roots/debian-root.sh" "$release" "$root"
        # Every package from the release's main archive: multiarch wants a
        # package at one version on both architectures, and a security
        # archive's index for another architecture can be out of step with
        # its Release file, which stops apt.
        sed -i '/-security /d' "$root/etc/apt/sources.list"
        git clone -q "$top" "$root/root/demos"
        status=0
        "$top/roots/in-root.sh" "$root" /bin/sh -c \
            "cd /root/demos && ./roots/test-arch.sh $arch" >"$log" 2>&1 || status=$?
        if [ "$status" -eq 0 ]; then
            result="ok: $(grep -E '^[0-9]+% tests passed' "$log" | tail -n 1)"
            skipped=$(sed -n 's/^[[:space:]]*[0-9]* - \(.*\) (Skipped)$/\1/p' "$log" |
                paste -sd, - | sed 's/,/, /g')
            result="$result${skipped:+; not run: $skipped}"
        else
            result="FAILED (log: $log)"
            failures=$((failures + 1))
            tail -n 30 "$log" >&2
        fi
        rows+=("$(printf '| %s | %s | %s | %d min %02d s |' "$arch" "$release" "$result" \
            $(((SECONDS - start) / 60)) $(((SECONDS - start) % 60)))")
        echo "${rows[-1]}" >&2
    done
done

echo
echo "| architecture | Debian | result | time |"
echo "|---|---|---|---|"
printf '%s\n' "${rows[@]}"
[ "$failures" -eq 0 ]
