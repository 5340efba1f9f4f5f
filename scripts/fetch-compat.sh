#!/bin/sh
# Unpacks Debian's sdl12-compat (SDL 1.2 on top of SDL2) into BUILD/compat
# and prints the folder to put in LD_LIBRARY_PATH. Nothing system-wide
# changes: the programs load it only when pointed at it.
set -eu
build=$(cd "${1:-build}" && pwd)
dest="$build/compat"
lib="$dest/root/usr/lib/$(gcc -print-multiarch)/sdl12-compat"

if [ ! -e "$lib/libSDL-1.2.so.0" ]; then
    mkdir -p "$dest/debs"
    cd "$dest/debs"
    # apt-get download needs current package lists; fetch them only if it fails.
    apt-get download libsdl1.2-compat libsdl1.2-compat-shim >&2 || {
        sudo=""
        [ "$(id -u)" -eq 0 ] || sudo=sudo
        $sudo apt-get update >&2
        apt-get download libsdl1.2-compat libsdl1.2-compat-shim >&2
    }
    for deb in ./*.deb; do
        dpkg-deb -x "$deb" "$dest/root"
    done
fi
echo "$lib"
