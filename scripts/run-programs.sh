#!/bin/sh
# Runs the programs from the build tree, each from its own folder.
set -eu
build=$(cd "${1:-build}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)

echo "== delay_test =="
if [ -n "${DISPLAY:-}" ]; then
    (cd "$build/delay_test" && ./delay_test) || true
else
    # With no display Debian's SDL falls back to drawing with characters on
    # the terminal; delay_test needs no window, so the dummy driver serves.
    (cd "$build/delay_test" && SDL_VIDEODRIVER=dummy ./delay_test) || true
fi

echo "== blitshow =="
if [ -n "${DISPLAY:-}" ]; then
    cd "$build/blitshow" && ./blitshow
else
    python3 "$here/show-headless.py" "$build/blitshow"
fi
