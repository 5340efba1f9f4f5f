#!/bin/bash
# Proves the README's two commands on new machines. For Debian 12 and 13 it
# makes a pristine minbase root, puts a clean clone of this repository in it
# and runs there, as a newcomer would type them, ./run (headless, its input
# given) and ./test; then the suite on the release's second SDL stack, and on
# Debian 13 the sanitizer run. Ends with a table: release, stack, result.
#
# Usage: test-fresh.sh [RELEASE...]   (default: bookworm trixie)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
work=${FRESH_DIR:-$top/build/fresh}
if [ $# -gt 0 ]; then releases=("$@"); else releases=(bookworm trixie); fi
mkdir -p "$work"
rows=()
failures=0

# Runs a shell command in the clone inside the root; its output goes to a log
# of its own. Gives the command's status.
in_clone() { # RELEASE LOG COMMAND
    "$top/scripts/in-root.sh" "$work/$1" /bin/sh -c "cd /root/demos && $3" \
        >"$work/$1-$2.log" 2>&1
}

# ctest's closing count, where the command ran ctest.
outcome() { # LOG
    grep -E '^[0-9]+% tests passed' "$1" | tail -n 1 || true
}

record() { # RELEASE STACK WHAT STATUS LOG
    local result
    if [ "$4" -eq 0 ]; then
        result=$(outcome "$5")
        result="ok${result:+: $result}"
    else
        result="FALLA (registro: $5)"
        failures=$((failures + 1))
        tail -n 30 "$5" >&2
    fi
    rows+=("$(printf '| %s | %s | %s | %s |' "$1" "$2" "$3" "$result")")
    echo "${rows[-1]}" >&2
}

stack() { # RELEASE [LD_LIBRARY_PATH]
    "$top/scripts/in-root.sh" "$work/$1" /usr/bin/env LD_LIBRARY_PATH="${2:-}" \
        python3 /root/demos/tools/sdl_stack.py 2>/dev/null || echo "?"
}

for release in "${releases[@]}"; do
    echo "== $release ==" >&2
    "$top/scripts/debian-root.sh" "$release" "$work/$release"
    git clone -q "$top" "$work/$release/root/demos"

    # The run command, headless: a wait of 5 ms, then ENTER for blitshow.
    # It must print the measurement and leave the window's screenshot.
    status=0
    in_clone "$release" run "printf '5\n\n' | ./run && test -s build/blitshow/ventana.png" ||
        status=$?
    grep -q "^Se ha producido un error de -\?[0-9]* ms" "$work/$release-run.log" || status=1
    grep -q "^Pulse ENTER para continuar" "$work/$release-run.log" || status=1
    default=$(stack "$release")
    record "$release" "$default" "./run" "$status" "$work/$release-run.log"

    status=0
    in_clone "$release" test "./test" || status=$?
    record "$release" "$default" "./test" "$status" "$work/$release-test.log"

    if [ "$release" != bookworm ]; then
        status=0
        in_clone "$release" sanitize "make test-sanitize" || status=$?
        record "$release" "$default" "make test-sanitize" "$status" "$work/$release-sanitize.log"
    fi

    status=0
    in_clone "$release" compat "make test-compat" || status=$?
    second=$(sed -n 's/^Pila SDL: //p' "$work/$release-compat.log")
    record "$release" "${second:-?}" "make test-compat" "$status" "$work/$release-compat.log"
done

echo
echo "| Debian | pila SDL | orden | resultado |"
echo "|---|---|---|---|"
printf '%s\n' "${rows[@]}"
[ "$failures" -eq 0 ]
