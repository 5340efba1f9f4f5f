#!/bin/sh
# Runs the programs from the build tree, each from its own folder. blitshow
# runs even when delay_test failed, so that a typo does not hide the window;
# the status says whether either failed, and stderr which.
set -eu
build=$(cd "${1:-build}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
failed=0
report() { # PROGRAM STATUS
    echo "$1 ended with status $2" >&2
    failed=1
}

echo "== delay_test =="
if [ -n "${DISPLAY:-}" ]; then
    (cd "$build/delay_test" && ./delay_test) || report delay_test $?
else
    # With no display Debian's SDL falls back to drawing with characters on
    # the terminal; delay_test needs no window, so the dummy driver serves.
    (cd "$build/delay_test" && SDL_VIDEODRIVER=dummy ./delay_test) || report delay_test $?
fi

echo "== blitshow =="
if [ -n "${DISPLAY:-}" ]; then
    (cd "$build/blitshow" && ./blitshow) || report blitshow $?
else
    python3 "$here/show_headless.py" "$build/blitshow" || report blitshow $?
fi
exit $failed
