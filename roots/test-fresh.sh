#!/bin/bash
# Proves the README's two commands on new machines. For Debian 12, 13 and 14
# it makes a pristine minbase root, puts a clean clone of this repository in
# it and runs there, as a newcomer would type them, ./run (headless, its input
# given; it must install no test tool, and fail on a bad entry yet still show
# the window), the plain cmake line, and ./test (on Debian 12 without its
# security archive, where the format test alone is skipped); then, after
# Debian 12, the sanitizer run, and the suite on the release's second SDL
# stack where it has one. Ends with a table: release, stack, command, result,
# time; and each root's time.
#
# Usage: test-fresh.sh [RELEASE...]   (default: bookworm trixie forky)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
work=${FRESH_DIR:-$top/build/fresh}
if [ $# -gt 0 ]; then releases=("$@"); else releases=(bookworm trixie forky); fi
mkdir -p "$work"
rows=()
times=()
failures=0

# Runs a shell command in the clone inside the root; its output goes to a log
# of its own. Gives the command's status.
in_clone() { # RELEASE LOG COMMAND
    "$top/roots/in-root.sh" "$work/$1" /bin/sh -c "cd /root/demos && $3" \
        >"$work/$1-$2.log" 2>&1
}

# ctest's closing count, where the command ran ctest, or that the release has
# one stack.
outcome() { # LOG
    grep -E -o '^[0-9]+% tests passed.*|una sola pila.*' "$1" | tail -n 1 || true
}

minutes() { # SECONDS
    printf '%d min %02d s' $(($1 / 60)) $(($1 % 60))
}

# Each row's time runs from the previous row's end.
record() { # RELEASE STACK WHAT STATUS LOG
    local result took=$((SECONDS - row_start))
    row_start=$SECONDS
    if [ "$4" -eq 0 ]; then
        result=$(outcome "$5")
        result="ok${result:+: $result}"
    else
        result="FALLA (registro: $5)"
        failures=$((failures + 1))
        tail -n 30 "$5" >&2
    fi
    rows+=("$(printf '| %s | %s | %s | %s | %s |' "$1" "$2" "$3" "$result" "$(minutes $took)")")
    echo "${rows[-1]}" >&2
}

stack() { # RELEASE [LD_LIBRARY_PATH]
    "$top/roots/in-root.sh" "$work/$1" /usr/bin/env LD_LIBRARY_PATH="${2:-}" PYTHONPATH=/root/demos \
        python3 -m pylib.sdl_stack 2>/dev/null || echo "?"
}

# Packages that only ./test may install.
TEST_TOOLS="libgtest-dev valgrind clang-format-22 openbox"

for release in "${releases[@]}"; do
    echo "== $release ==" >&2
    release_start=$SECONDS
    row_start=$SECONDS
    "$top/roots/debian-root.sh" "$release" "$work/$release"
    git clone -q "$top" "$work/$release/root/demos"

    # The run command, headless: a wait of 5 ms, then ENTER for blitshow.
    # It must print the measurement, leave the window's screenshot, and have
    # installed none of the test tools; after it, the plain cmake line of
    # docs/development.md builds the programs without the tests.
    status=0
    in_clone "$release" run "printf '5\n\n' | ./run && test -s build/blitshow/ventana.png &&
        ! dpkg-query -W -f='\${Package} \${Status}\n' $TEST_TOOLS 2>/dev/null |
            grep ' installed\$' && cmake -S . -B build-plain && cmake --build build-plain -j2" ||
        status=$?
    grep -q "GoogleTest not found: the tests are left out" "$work/$release-run.log" || status=1
    grep -q "^Se ha producido un error de -\?[0-9]* ms" "$work/$release-run.log" || status=1
    grep -q "^Pulse ENTER para continuar" "$work/$release-run.log" || status=1
    default=$(stack "$release")
    record "$release" "$default" "./run, y la línea de cmake" "$status" "$work/$release-run.log"

    # A bad entry: ./run fails and says why, and blitshow still shows.
    status=0
    in_clone "$release" run-bad "printf 'x\n\n' | ./run" && status=1
    grep -q "^delay_test terminó con el estado 1$" "$work/$release-run-bad.log" || status=1
    grep -q "^Pulse ENTER para continuar" "$work/$release-run-bad.log" || status=1
    record "$release" "$default" "./run, entrada no válida" "$status" "$work/$release-run-bad.log"

    # Debian 12's test runs without its security archive, as a minbase install
    # has it: the formatter is not to be had, and every other test must run.
    # CI's own ./test, on Debian 12 with that archive, runs the format test.
    status=0 what=./test
    if [ "$release" = bookworm ]; then
        sed -i '/-security /d' "$work/$release/etc/apt/sources.list"
        what="./test, sin archivo de seguridad"
    fi
    in_clone "$release" test "./test" || status=$?
    if [ "$release" = bookworm ]; then
        grep -q "se omitirá la prueba de formato$" "$work/$release-test.log" &&
            grep -Eq "^ *[0-9]+/[0-9]+ Test +#[0-9]+: format .*Disabled" "$work/$release-test.log" &&
            grep -q "^100% tests passed" "$work/$release-test.log" || status=1
    fi
    record "$release" "$default" "$what" "$status" "$work/$release-test.log"

    if [ "$release" != bookworm ]; then
        status=0
        in_clone "$release" sanitize "make test-sanitize" || status=$?
        record "$release" "$default" "make test-sanitize" "$status" "$work/$release-sanitize.log"
    fi

    status=0
    in_clone "$release" compat "make test-compat" || status=$?
    second=$(sed -n 's/^Pila SDL: //p' "$work/$release-compat.log")
    # With one stack, the stack tested is the default.
    [ "$second" != "una sola pila en esta versión" ] || second=$default
    record "$release" "${second:-?}" "make test-compat" "$status" "$work/$release-compat.log"

    # The README's recipe for Debian 12's second stack: Debian's package, and
    # LD_LIBRARY_PATH to its folder.
    if [ "$release" = bookworm ]; then
        status=0
        in_clone "$release" readme-compat "apt-get install -y libsdl1.2-compat &&
            LD_LIBRARY_PATH=/usr/lib/x86_64-linux-gnu/sdl12-compat python3 -m pylib.sdl_stack &&
            echo 3 | SDL_VIDEODRIVER=dummy \
                LD_LIBRARY_PATH=/usr/lib/x86_64-linux-gnu/sdl12-compat build/delay_test/delay_test" ||
            status=$?
        grep -q "^sdl12-compat .* on SDL2 " "$work/$release-readme-compat.log" || status=1
        grep -q "Se ha producido un error de" "$work/$release-readme-compat.log" || status=1
        record "$release" "$second" "libsdl1.2-compat con LD_LIBRARY_PATH" "$status" \
            "$work/$release-readme-compat.log"
    fi
    times+=("$release: $(minutes $((SECONDS - release_start)))")
done

echo
echo "| Debian | pila SDL | orden | resultado | tiempo |"
echo "|---|---|---|---|---|"
printf '%s\n' "${rows[@]}"
echo
printf '%s\n' "${times[@]}"
[ "$failures" -eq 0 ]
