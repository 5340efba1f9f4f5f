#!/bin/sh
# Makes DIR a pristine minbase root of a Debian release (bookworm, trixie,
# forky):
# what a new machine starts from. The first root of each release is kept as
# a tarball in the cache folder, outside any clone, and unpacked from then on.
#
# Usage: debian-root.sh RELEASE DIR
set -eu
scripts=$(cd "$(dirname "$0")" && pwd)
[ $# -eq 2 ] || { echo "uso: debian-root.sh VERSIÓN CARPETA" >&2; exit 1; }
release=$1
dir=$2
cache=${SDL_DEMOS_CACHE:-/var/cache/sdl-demos}
tarball="$cache/$release-minbase.tar"

# The archive this machine's apt already uses (its first source that is not
# the security archive); never a name written down.
mirror() {
    "$scripts/apt-sources.sh" | sed -n 's/^deb \(\[[^]]*\] \)\{0,1\}\([^ ]*\) .*/\2/p' |
        grep -v security | head -n 1
}

# Roots are made by debootstrap, and their callers clone into them with git.
missing=""
for tool in debootstrap git; do
    command -v "$tool" >/dev/null || missing="$missing $tool"
done
if [ -n "$missing" ]; then
    # shellcheck disable=SC2086 # the list is meant to split into names
    { apt-get update && DEBIAN_FRONTEND=noninteractive apt-get install -y $missing; } >&2
fi

if [ ! -s "$tarball" ]; then
    url=$(mirror)
    [ -n "$url" ] || { echo "No hay ningún archivo de Debian en la configuración de apt" >&2; exit 1; }
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
    echo "$dir tiene sistemas de archivos montados; no se borra" >&2
    exit 1
fi
rm -rf "$dir"
mkdir -p "$dir"
tar -C "$dir" -xf "$tarball"
# The archive is read from a snapshot, where a Release file with a
# Valid-Until (testing's, forky's now) expires; this machine's apt accepts it
# there, and so does the root's, in the root alone. Stable releases carry no
# Valid-Until, so for them this changes nothing.
echo 'Acquire::Check-Valid-Until "false";' >"$dir/etc/apt/apt.conf.d/99snapshot"
