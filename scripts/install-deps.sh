#!/bin/sh
# Installs every Debian package that building, running and testing need.
# Safe to run again: it does nothing when all of them are already there.
set -eu

# The second SDL stack of each release, for `make test-compat`: SDL2 under
# the sdl12-compat that fetch-compat.sh unpacks on Debian 12; on Debian 13,
# whose SDL 1.2 is sdl12-compat on SDL2 already, sdl2-compat on SDL3.
. /etc/os-release
# weston runs the Wayland test where the stacks show on Wayland.
case "${VERSION_CODENAME:-}" in
bookworm) second_stack=libsdl2-2.0-0 ;;
*) second_stack="libsdl2-compat weston" ;;
esac
# gnuplot-nox and time serve `make bench`.
PACKAGES="cmake make gcc g++ pkg-config libsdl1.2-dev libgtest-dev python3 clang-format
xvfb x11-apps x11-utils openbox valgrind $second_stack gnuplot-nox time"
# With the argument "fuzz", also what `make fuzz` needs: clang with libFuzzer
# and the sanitizers, and dpkg-dev to unpack Debian's SDL sources.
if [ "${1:-}" = fuzz ]; then
    PACKAGES="$PACKAGES clang libclang-rt-dev dpkg-dev"
fi

missing=""
for p in $PACKAGES; do
    dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$' ||
        missing="$missing $p"
done
[ -n "$missing" ] || exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
echo "Instalando:$missing"
$sudo apt-get update
# shellcheck disable=SC2086 # the list is meant to split into names
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y $missing
