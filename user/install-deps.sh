#!/bin/sh
# Installs the Debian packages that one command needs, and no more:
#   install-deps.sh run    build and run the programs, headless too (./run)
#   install-deps.sh test   that, and the test tools (./test)
#   install-deps.sh bench  run's, the second SDL stack, gnuplot, GNU time (make bench)
#   install-deps.sh fuzz   the build tools, the second SDL stack, clang with
#                          libFuzzer and the sanitizers, dpkg-dev for Debian's
#                          sources
#   install-deps.sh memcheck  the build tools, valgrind and clang
# Safe to run again: it does nothing when all of them are already there.
set -eu
purpose=${1:-}

# What differs by release (releases.txt): the default stack's headers, its
# second SDL 1.2 stack, and weston where its stacks show on Wayland, for the
# Wayland test and the start-up benchmark.
command -v apt-get >/dev/null || {
    . /etc/os-release
    echo "${PRETTY_NAME:-This system} has no apt-get: install the packages by hand" >&2
    exit 1
}
release() { "$(dirname "$0")/../pylib/release.sh" "$1"; }
sdl_dev=$(release sdl-dev)
second_stack=$(release second-package)
wayland=""
[ "$(release weston)" = no ] || wayland=weston

# What builds the programs (blitshow answers a broken X connection through
# Xlib itself); python3 names the SDL stack.
TOOLS="cmake make gcc g++ pkg-config $sdl_dev libx11-dev python3"
# xvfb, x11-apps (xwd), x11-utils (xwininfo): the window's screenshot on a
# machine with no display.
RUN="$TOOLS xvfb x11-apps x11-utils"
case $purpose in
run) PACKAGES=$RUN ;;
# One clang-format on every release, so that the format test's verdict is the
# same on each (tests/CMakeLists.txt); the benchmarks' smoke test measures
# blitshow's memory with GNU time.
# openbox: the window test's reparenting window manager; shellcheck and
# pyflakes3: the tooling's own warnings.
test) PACKAGES="$RUN libgtest-dev clang-format-22 valgrind time openbox shellcheck pyflakes3 $second_stack $wayland" ;;
bench) PACKAGES="$RUN $second_stack $wayland gnuplot-nox time" ;;
fuzz) PACKAGES="$TOOLS $second_stack clang libclang-rt-dev dpkg-dev" ;;
# A stack fuzzed under valgrind (releases.txt): blitshow, and the fuzz target
# built with clang without sanitizers (fuzz/memcheck-replay.sh).
memcheck) PACKAGES="$TOOLS valgrind clang libclang-rt-dev" ;;
*) echo "usage: install-deps.sh run|test|bench|fuzz|memcheck" >&2 && exit 1 ;;
esac

missing=""
for p in $PACKAGES; do
    dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$' ||
        missing="$missing $p"
done
[ -n "$missing" ] || exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
$sudo apt-get update
# A release whose clang-format-22 comes from its security archive alone
# (releases.txt) may have been installed without that archive: then every
# test but the format test still runs.
case "$missing " in
*" clang-format-22 "*)
    if ! apt-cache show clang-format-22 >/dev/null 2>&1; then
        echo "clang-format-22 is not in this system's apt archives" \
            "(Debian $(release debian) has it in its $(release formatter) archive): the format test is left out" >&2
        missing=$(echo "$missing" | sed 's/ clang-format-22//')
        [ -n "$missing" ] || exit 0
    fi
    ;;
esac
echo "Installing:$missing"
# shellcheck disable=SC2086 # the list is meant to split into names
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y $missing
