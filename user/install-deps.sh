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

# What differs by release: its second SDL 1.2 stack beside the default (see
# fetch-compat.sh), and weston where its stacks show on Wayland, for the
# Wayland test and the start-up benchmark (Debian 12's SDL2 crashes there).
# - Debian 12, SDL 1.2.15: SDL2, under the sdl12-compat fetch-compat.sh unpacks.
# - Debian 13, sdl12-compat on SDL2: sdl2-compat on SDL3.
# - Debian 14, sdl12-compat on sdl2-compat on SDL3: one stack, no second.
. /etc/os-release
second_stack="" wayland=weston
case "${VERSION_CODENAME:-}" in
bookworm) second_stack=libsdl2-2.0-0 wayland="" ;;
trixie) second_stack=libsdl2-compat ;;
forky) ;;
*)
    command -v apt-get >/dev/null ||
        { echo "${PRETTY_NAME:-Este sistema} no tiene apt-get: instale los paquetes a mano" >&2; exit 1; }
    echo "Versión desconocida: ${PRETTY_NAME:-?}; se prueba con los paquetes de Debian 14 (forky)," \
        "sin segunda pila SDL" >&2
    ;;
esac

# What builds the programs; python3 names the SDL stack.
TOOLS="cmake make gcc g++ pkg-config libsdl1.2-dev python3"
# xvfb, x11-apps (xwd), x11-utils (xwininfo): the window's screenshot on a
# machine with no display.
RUN="$TOOLS xvfb x11-apps x11-utils"
case $purpose in
run) PACKAGES=$RUN ;;
# One clang-format on every release, so that the format test's verdict is the
# same on each (tests/CMakeLists.txt); the benchmarks' smoke test measures
# blitshow's memory with GNU time.
# openbox: the window test's reparenting window manager.
test) PACKAGES="$RUN libgtest-dev clang-format-22 valgrind time openbox $second_stack $wayland" ;;
bench) PACKAGES="$RUN $second_stack $wayland gnuplot-nox time" ;;
fuzz) PACKAGES="$TOOLS $second_stack clang libclang-rt-dev dpkg-dev" ;;
# Debian 14's stack, checked under valgrind: blitshow, and the fuzz target
# built with clang without sanitizers (fuzz/memcheck-replay.sh).
memcheck) PACKAGES="$TOOLS valgrind clang libclang-rt-dev" ;;
*) echo "uso: install-deps.sh run|test|bench|fuzz|memcheck" >&2 && exit 1 ;;
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
# Debian 12 has the format test's clang-format-22 only from its security
# archive. Where the sources leave that out, every other test still runs.
case "$missing " in
*" clang-format-22 "*)
    if ! apt-cache show clang-format-22 >/dev/null 2>&1; then
        echo "clang-format-22 no está en los archivos de apt de este sistema" \
            "(Debian 12 lo tiene en sus actualizaciones de seguridad): se omitirá la prueba de formato" >&2
        missing=$(echo "$missing" | sed 's/ clang-format-22//')
        [ -n "$missing" ] || exit 0
    fi
    ;;
esac
echo "Instalando:$missing"
# shellcheck disable=SC2086 # the list is meant to split into names
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y $missing
