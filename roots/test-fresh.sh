#!/bin/bash
# Proves the README's two commands on new machines. For every release in
# releases.txt it makes a pristine root (root-lib.sh) and runs there, as a
# newcomer would type them: ./run, then the plain cmake line; ./run with a
# bad entry; the README's recipe for the release's second SDL stack; ./test;
# ./run as a user without sudo; then, but on the machine's own release, where
# CI runs them, the sanitizer run and the suite on the second stack. Each
# stack must be the one releases.txt names. Ends with a table: release,
# stack, command, result, time.
#
# Usage: test-fresh.sh [RELEASE...]   (default: every release)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/roots/root-lib.sh"
release() { "$top/pylib/release.sh" "$@"; }
if [ $# -gt 0 ]; then releases=("$@"); else mapfile -t releases < <(release list); fi
. /etc/os-release
machine=${VERSION_CODENAME:-}

# Runs CHECK with a log of its own, then records its row under the stack it
# set (the default unless it sets another).
step() { # LOG-NAME WHAT CHECK...
    local status=0
    LOG=$ROOTS/fresh-$release-$1.log stack=$default
    "${@:3}" || status=$?
    record "$status" "$LOG" "$release" "$stack" "$2"
}

# Runs a shell command in the clone, its output in the step's log.
in_clone() { # COMMAND
    root_run "fresh-$release" "$1" >"$LOG" 2>&1
}

# Whether a stack is the one releases.txt names, where a version may be cut
# short.
named() { # STACK NAME
    local got want i
    read -ra got <<<"$1"
    read -ra want <<<"$2"
    for ((i = 0; i < ${#got[@]} || i < ${#want[@]}; i++)); do
        case ${got[i]:-} in "${want[i]:-}" | "${want[i]:-}".*) ;; *)
            echo "not the stack releases.txt names: $2" >>"$LOG"
            return 1
            ;;
        esac
    done
}

# What ./test installs beyond ./run.
test_tools() {
    local run package
    run=" $(root_run "fresh-$release" './user/install-deps.sh --list run') "
    for package in $(root_run "fresh-$release" './user/install-deps.sh --list test'); do
        case $run in *" $package "*) ;; *) echo "$package" ;; esac
    done
}

# The run command, headless: a wait of 5 ms, then ENTER for blitshow. It
# must print the measurement, leave the window's screenshot, and have
# installed none of the test tools; after it, the plain cmake line of
# docs/development.md builds the programs without the tests.
check_run() {
    local tools
    tools=$(test_tools | paste -sd' ') &&
        in_clone "printf '5\n\n' | ./run && test -s build/blitshow/window.png &&
            ! dpkg-query -W -f='\${Package} \${Status}\n' $tools 2>/dev/null | grep ' installed\$' &&
            cmake -S . -B build-plain && cmake --build build-plain -j2 &&
            grep -x 'BUILD_TESTING:BOOL=OFF' build-plain/CMakeCache.txt" &&
        grep -q "^Se ha producido un error de -\?[0-9]* ms" "$LOG" &&
        grep -q "^Pulse ENTER para continuar" "$LOG" &&
        default=$(root_run "fresh-$release" 'python3 -m pylib.sdl_stack' 2>>"$LOG") && stack=$default &&
        named "$default" "$(release default "$release")"
}

# A bad entry: ./run fails, delay_test refusing it, and blitshow still shows.
check_bad_entry() {
    in_clone "rm -f build/blitshow/window.png && ! (printf 'x\n\n' | ./run) &&
        test -s build/blitshow/window.png" &&
        grep -q "Entrada no válida" "$LOG" && grep -q "^Pulse ENTER para continuar" "$LOG"
}

# The README's recipe for the second stack, as it stands there: its package,
# and LD_LIBRARY_PATH to its folder.
check_second_stack_recipe() { # PACKAGE
    local folder
    folder="/usr/lib/\$(gcc -print-multiarch)/$(release second-folder "$release")"
    in_clone "apt-get install -y $1 && LD_LIBRARY_PATH=$folder python3 -m pylib.sdl_stack &&
        cd build/delay_test && echo 3 | SDL_VIDEODRIVER=dummy LD_LIBRARY_PATH=$folder ./delay_test" &&
        stack=$(grep -E '^(SDL|sdl12-compat) ' "$LOG" | tail -n 1) &&
        named "$stack" "$(release second "$release")" && grep -q "Se ha producido un error de" "$LOG"
}

# ./test. A root without the formatter (its release has it from the security
# archive alone) must leave the format test out and pass every other; CI's
# own ./test, with that archive, runs the format test.
check_test() {
    in_clone ./test && { [ -z "$bare" ] ||
        root_run "fresh-$release" "cd build && ctest --show-only=json-v1" | python3 -c '
import json, sys
format, = (t for t in json.load(sys.stdin)["tests"] if t["name"] == "format")
sys.exit({"name": "DISABLED", "value": True} not in format["properties"])'; }
}

# Once the packages are there, ./run needs no root: a user without sudo runs
# it in a clone of their own.
check_user_run() {
    in_clone "useradd -m newcomer && cp -r /root/demos /home/newcomer/ &&
        rm -rf /home/newcomer/demos/build* && chown -R newcomer: /home/newcomer/demos &&
        su newcomer -c 'cd ~/demos && printf \"5\n\n\" | ./run'" &&
        grep -q "^Se ha producido un error de" "$LOG"
}

# The suite on the second stack; with one stack, on the default.
check_compat() {
    stack=$(release second "$release")
    stack=${stack:-$default}
    in_clone "make test-compat"
}

# Every step of RELEASE in a root of its own; its rows, one a line, into
# ROWS-FILE once all are done.
prove() { # RELEASE ROWS-FILE
    local status=0
    # shellcheck disable=SC2034 # record's (root-lib.sh): each release's times its own
    release=$1 default="?" row_start=$SECONDS
    # Where the formatter comes from the security archive alone, the root is
    # made without that archive, as a minbase install has it.
    bare=$([ "$(release formatter "$release")" = security ] && echo --no-security || true)
    # shellcheck disable=SC2086 # no option, no argument
    root_new "fresh-$release" "$release" $bare >"$ROOTS/fresh-$release-root.log" 2>&1 ||
        status=$?
    if [ "$status" -ne 0 ]; then
        record "$status" "$ROOTS/fresh-$release-root.log" "$release" "$default" "a pristine root"
    else
        step run "./run, and the cmake line" check_run
        step run-bad "./run, a bad entry" check_bad_entry
        package=$(release second-package "$release")
        [ -z "$package" ] ||
            step readme-compat "$package, with LD_LIBRARY_PATH" check_second_stack_recipe "$package"
        step test "./test${bare:+, without the security archive}" check_test
        step run-user "./run as a user without sudo" check_user_run
        # The machine's own release has both runs in CI's own steps.
        if [ "$release" != "$machine" ]; then
            step sanitize "make test-sanitize" in_clone "make test-sanitize"
            step compat "make test-compat" check_compat
        fi
        root_drop "fresh-$release"
    fi
    printf '%s\n' "${ROWS[@]}" >"$2"
}

# Two releases at a time: a root's work waits on dpkg's single thread and on
# its tests' servers for much of the time. The rows come in the releases'
# order.
rows=$(mktemp -d)
trap 'rm -rf "$rows"' EXIT
for ((i = 0; i < ${#releases[@]}; i++)); do
    [ "$i" -lt 2 ] || wait -n || true
    echo "== ${releases[i]} ==" >&2
    prove "${releases[i]}" "$rows/$i" &
done
wait
# A release whose steps stopped short has no rows: that fails too.
mapfile -t ROWS < <(for ((i = 0; i < ${#releases[@]}; i++)); do
    cat "$rows/$i" 2>/dev/null || echo "| ${releases[i]} | ? | its steps | FAILED: stopped short | |"
done)
# shellcheck disable=SC2034 # table's (root-lib.sh)
FAILURES=$(printf '%s\n' "${ROWS[@]}" | grep -c '| FAILED' || true)
table Debian "SDL stack" command result time
