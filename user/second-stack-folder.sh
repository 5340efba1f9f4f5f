#!/bin/sh
# Prints the folder to put in LD_LIBRARY_PATH for the second SDL 1.2 stack
# that this release offers beside its default, or nothing on a release with
# one stack. Nothing system-wide changes: the programs load it only when
# pointed at it.
# - Debian 12, whose SDL 1.2 is SDL 1.2.15: sdl12-compat on SDL2, unpacked
#   from Debian's package into BUILD/compat, since installing it would
#   replace the default.
# - Debian 13, whose SDL 1.2 is sdl12-compat on SDL2: sdl12-compat on
#   sdl2-compat on SDL3, from libsdl2-compat (install-deps.sh installs it).
# - Debian 14, whose default is already sdl12-compat on sdl2-compat on SDL3:
#   one stack.
set -eu
build=$(cd "${1:-build}" && pwd)
multiarch=$(gcc -print-multiarch)
. /etc/os-release
case "${VERSION_CODENAME:-}" in
bookworm) ;;
trixie)
    lib="/usr/lib/$multiarch/sdl2-compat"
    [ -e "$lib/libSDL2-2.0.so.0" ] ||
        { echo "Falta libsdl2-compat: ./user/install-deps.sh test" >&2; exit 1; }
    echo "$lib"
    exit 0
    ;;
forky) exit 0 ;;
*)
    echo "No se conoce la segunda pila SDL de ${PRETTY_NAME:-esta versión}" >&2
    exit 1
    ;;
esac

dest="$build/compat"
lib="$dest/root/usr/lib/$multiarch/sdl12-compat"
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
