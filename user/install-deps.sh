#!/bin/sh
# Installs the Debian packages that one purpose needs, and no more: the one
# place that names them. With --list, prints them on one line instead. Safe
# to run again: it does nothing when all of them are already there.
#   install-deps.sh [--list] run|test|bench|fuzz|memcheck|format|roots|arch-facts
#   install-deps.sh [--list] cross ARCH
set -eu
list=""
[ "${1:-}" != --list ] || { list=1 && shift; }
purpose=${1:-}

# What differs by release (releases.txt): the default stack's headers, its
# second SDL 1.2 stack, and weston where its stacks show on Wayland, for the
# Wayland test and the start-up benchmark.
release() { "$(dirname "$0")/../pylib/release.sh" "$1"; }
sdl_dev=$(release sdl-dev)
second_stack=$(release second-package)
wayland=""
[ "$(release weston)" = no ] || wayland=weston

# One clang-format on every release, so that the format test's verdict is the
# same on each (tests/CMakeLists.txt).
FORMATTER=clang-format-22
# What builds the programs (blitshow answers a broken X connection through
# Xlib itself, and asks the X server through Xext whether it shares memory);
# python3 names the SDL stack.
TOOLS="cmake make gcc g++ pkg-config $sdl_dev libx11-dev libxext-dev python3"
# xvfb, x11-apps (xwd), x11-utils (xwininfo): the window's screenshot on a
# machine with no display. openbox: the window test's reparenting window
# manager. shellcheck and pyflakes3: the tooling's own warnings.
SCREEN="xvfb x11-apps x11-utils"
CHECKS="$FORMATTER shellcheck pyflakes3"
no_recommends=""
case $purpose in
run) PACKAGES="$TOOLS $SCREEN" ;;
# The benchmarks' smoke test measures blitshow's memory with GNU time.
test) PACKAGES="$TOOLS $SCREEN openbox libgtest-dev $CHECKS valgrind time $second_stack $wayland" ;;
bench) PACKAGES="$TOOLS $SCREEN $second_stack $wayland gnuplot-nox time" ;;
# clang with libFuzzer and the sanitizers; dpkg-dev for Debian's sources.
fuzz) PACKAGES="$TOOLS $second_stack clang libclang-rt-dev dpkg-dev" ;;
# A stack fuzzed under valgrind (releases.txt): blitshow, and the fuzz target
# built with clang without sanitizers (fuzz/memcheck-replay.sh).
memcheck) PACKAGES="$TOOLS valgrind clang libclang-rt-dev" ;;
format) PACKAGES=$FORMATTER ;;
# What makes a Debian root (roots/debian-root.sh) and puts a clone in it.
roots) PACKAGES="debootstrap git" ;;
# What gives an architecture's facts from its name: dpkg-architecture.
arch-facts) PACKAGES=dpkg-dev ;;
# The suite cross-built for ARCH (its Debian name) by the GNU compiler that
# dpkg-architecture names, on both stacks: the target's libraries through
# multiarch in place of the machine's own headers, and natively the machine's
# own SDL runtimes, which pylib/sdl_stack.py loads to name the stack
# (multiarch keeps them at the target's very version), named with the
# machine's architecture, as the target's would do for them. weston runs
# natively, for programs of the machine's byte order alone: Wayland speaks it.
# The sources' checks are the same on every architecture: they run natively.
# Nothing recommended: qemu-user's would register it with the kernel.
cross)
    arch=${2:?usage: cross ARCH} native=$(dpkg --print-architecture)
    command -v dpkg-architecture >/dev/null || "$0" arch-facts
    [ "$(dpkg-architecture -a "$arch" -q DEB_HOST_ARCH_ENDIAN 2>/dev/null)" = \
        "$(dpkg-architecture -q DEB_HOST_ARCH_ENDIAN 2>/dev/null)" ] || wayland=""
    PACKAGES="cmake make pkg-config python3 $SCREEN openbox $wayland qemu-user dpkg-dev
        g++-$(dpkg-architecture -a "$arch" -q DEB_HOST_GNU_TYPE 2>/dev/null)
        $(release sdl-runtime):$native $sdl_dev:$arch libx11-dev:$arch libxext-dev:$arch
        libgtest-dev:$arch ${second_stack:+$second_stack:$native $second_stack:$arch}"
    no_recommends=--no-install-recommends
    ;;
*) echo "usage: install-deps.sh [--list] run|test|bench|fuzz|memcheck|format|roots|arch-facts|cross ARCH" >&2 && exit 1 ;;
esac
# shellcheck disable=SC2086 # the list is meant to split into names
[ -z "$list" ] || { echo $PACKAGES && exit 0; }

command -v apt-get >/dev/null || {
    . /etc/os-release
    echo "${PRETTY_NAME:-This system} has no apt-get: install the packages by hand" >&2
    exit 1
}
missing=""
for p in $PACKAGES; do
    dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$' ||
        missing="$missing $p"
done
[ -n "$missing" ] || exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
[ "$purpose" != cross ] || $sudo dpkg --add-architecture "$2"
$sudo apt-get update
# A release whose formatter comes from its security archive alone
# (releases.txt) may have been installed without that archive: then every
# test but the format test still runs.
case "$missing " in
*" $FORMATTER "*)
    if ! apt-cache show "$FORMATTER" >/dev/null 2>&1; then
        echo "$FORMATTER is not in this system's apt archives" \
            "(Debian $(release debian) has it in its $(release formatter) archive): the format test is left out" >&2
        missing=$(echo "$missing" | sed "s/ $FORMATTER//")
        [ -n "$missing" ] || exit 0
    fi
    ;;
esac
echo "Installing:$missing"
# shellcheck disable=SC2086 # the list is meant to split into names
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y $no_recommends $missing
