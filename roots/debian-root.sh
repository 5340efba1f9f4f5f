#!/bin/sh
# Makes DIR a pristine minbase root of a Debian release, by its codename:
# what a new machine starts from. The first root of each release is kept as
# a tarball in the cache folder, outside any clone, and unpacked from then on.
# roots/root-lib.sh calls it.
#
# Usage: debian-root.sh RELEASE DIR [--keep] [--no-security]
#   --keep (a root in DIR stays, with what was built in it), --no-security
#   SDL_DEMOS_CACHE: the cache folder (default: /var/cache/sdl-demos)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
[ $# -ge 2 ] || { echo "usage: debian-root.sh RELEASE DIR [--keep] [--no-security]" >&2; exit 1; }
release=$1
dir=$2
options=" $* "
case $options in *" --keep "*) [ ! -e "$dir/etc/os-release" ] || exit 0 ;; esac
cache=${SDL_DEMOS_CACHE:-/var/cache/sdl-demos}
tarball="$cache/$release-minbase.tar"

# The archives this machine's apt already uses: the first that is not the
# security archive (archive -v), or the first that is (archive -e); never a
# name written down.
archive() {
    "$here/apt-sources.sh" | sed -n 's/^deb \(\[[^]]*\] \)\{0,1\}\([^ ]*\) .*/\2/p' |
        grep "$1" security | head -n 1
}

# Roots are made by debootstrap, and their callers clone into them with git.
"$here/../user/install-deps.sh" roots >&2

if [ ! -s "$tarball" ]; then
    url=$(archive -v)
    [ -n "$url" ] || { echo "no Debian archive in this machine's apt configuration" >&2; exit 1; }
    mkdir -p "$cache"
    work=$(mktemp -d "$cache/$release.XXXXXX")
    trap 'rm -rf "$work"' EXIT
    # Debian's release scripts are all sid's under another name; an older
    # debootstrap (Debian 12's) has none yet for the newest releases.
    script=""
    [ -e "/usr/share/debootstrap/scripts/$release" ] || script=/usr/share/debootstrap/scripts/sid
    echo "debootstrap $release (minbase)..." >&2
    # shellcheck disable=SC2086 # no script, no fourth argument
    debootstrap --variant=minbase "$release" "$work/root" "$url" $script >"$work/log" 2>&1 ||
        { tail -n 20 "$work/log" >&2; exit 1; }
    tar -C "$work/root" -cf "$tarball.part" .
    mv "$tarball.part" "$tarball"
fi

# A folder with something still mounted inside is never removed.
if grep -q " $(realpath -m "$dir")/" /proc/mounts; then
    echo "$dir has file systems mounted in it: not removed" >&2
    exit 1
fi
rm -rf "$dir"
mkdir -p "$dir"
# A root grows to about 4 GiB with a build and its tests: a disk that runs
# out halfway would fail its steps for no fault of theirs.
free=$(df -P -k "$dir" | awk 'NR == 2 { print int($4 / 1048576) }')
[ "$free" -ge 5 ] || { echo "$dir: ${free} GiB free on its disk, a root needs 5" >&2; exit 1; }
tar -C "$dir" -xf "$tarball"
# A new machine gets its release's security updates too, as the installer
# sets it up; some have the tests' formatter only from there (releases.txt).
security=$(case $options in *" --no-security "*) ;; *) archive -e ;; esac)
[ -z "$security" ] || echo "deb $security $release-security main" >>"$dir/etc/apt/sources.list"
# The archives are read from a snapshot, where a Release file with a
# Valid-Until (testing's, the security suites') expires; this machine's apt
# accepts it there, and so does the root's, in the root alone.
echo 'Acquire::Check-Valid-Until "false";' >"$dir/etc/apt/apt.conf.d/99snapshot"
