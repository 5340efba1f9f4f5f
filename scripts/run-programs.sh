#!/bin/sh
# Runs the programs from the build tree, each from its own folder.
set -eu
build=$(cd "${1:-build}" && pwd)

# With no display Debian's SDL falls back to drawing with characters on the
# terminal; delay_test needs no window, so the dummy driver serves it better.
[ -n "${DISPLAY:-}" ] || export SDL_VIDEODRIVER="${SDL_VIDEODRIVER:-dummy}"

echo "== delay_test =="
(cd "$build/delay_test" && ./delay_test) || true
