#!/bin/bash
# Proves the README's two commands on new machines. For every release in
# releases.txt it makes a pristine root (root-lib.sh) and runs there, as a
# newcomer would type them: ./run, then the plain cmake line; ./run with a
# bad entry; the README's recipe for the release's second SDL stack; ./test;
# ./run as a user without sudo; the sanitizer run, but on the machine's own
# release, where CI runs it; and the suite on the second stack. Each stack
# must be the one releases.txt names. Ends with a table: release, stack,
# command, result, time; and each root's time.
#
# Usage: test-fresh.sh [RELEASE...]   (default: every release)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/roots/root-lib.sh"
release() { "$top/pylib/release.sh" "$@"; }
if [ $# -gt 0 ]; then releases=("$@"); else mapfile -t releases < <(release list); fi
. /etc/os-release
machine=${VERSION_CODENAME:-}
mkdir -p "$ROOTS"
times=()

# The step's log, in the root of the release under test.
log() { # STEP
    echo "$ROOTS/fresh-$release-$1.log"
}

# Runs a shell command in the clone, its output in the step's log. Gives the
# command's status.
in_clone() { # STEP COMMAND
    root_run "fresh-$release" "$2" >"$(log "$1")" 2>&1
}

# The default stack, as python3 names it there.
stack() {
    root_run "fresh-$release" "python3 -m pylib.sdl_stack" 2>/dev/null || echo "?"
}

# Whether a stack is the one releases.txt names, where a version may be cut
# short.
named() { # STACK NAME
    local got want i
    read -ra got <<<"$1"
    read -ra want <<<"$2"
    for ((i = 0; i < ${#got[@]} || i < ${#want[@]}; i++)); do
        case ${got[i]:-} in "${want[i]:-}" | "${want[i]:-}".*) ;; *)
            echo "not the stack releases.txt names: $2" >&2
            return 1
            ;;
        esac
    done
}

# What ./test installs beyond ./run.
test_tools() {
    local run
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
    local status=0 tools
    tools=$(test_tools | paste -sd' ')
    in_clone run "printf '5\n\n' | ./run && test -s build/blitshow/ventana.png &&
        ! dpkg-query -W -f='\${Package} \${Status}\n' $tools 2>/dev/null | grep ' installed\$' &&
        cmake -S . -B build-plain && cmake --build build-plain -j2 &&
        grep -x 'BUILD_TESTING:BOOL=OFF' build-plain/CMakeCache.txt" || status=$?
    grep -q "^Se ha producido un error de -\?[0-9]* ms" "$(log run)" || status=1
    grep -q "^Pulse ENTER para continuar" "$(log run)" || status=1
    default=$(stack)
    named "$default" "$(release default "$release")" 2>>"$(log run)" || status=1
    record "$status" "$(log run)" "$release" "$default" "./run, and the cmake line"
}

# A bad entry: ./run fails, delay_test refusing it, and blitshow still shows.
check_bad_entry() {
    local status=0
    in_clone run-bad "rm -f build/blitshow/ventana.png && ! (printf 'x\n\n' | ./run) &&
        test -s build/blitshow/ventana.png" || status=$?
    grep -q "^Entrada no válida" "$(log run-bad)" || status=1
    grep -q "^Pulse ENTER para continuar" "$(log run-bad)" || status=1
    record "$status" "$(log run-bad)" "$release" "$default" "./run, a bad entry"
}

# The README's recipe for the second stack, as it stands there: its package,
# and LD_LIBRARY_PATH to its folder.
check_second_stack_recipe() {
    local status=0 package folder second
    package=$(release second-package "$release")
    folder="/usr/lib/\$(gcc -print-multiarch)/$(release second-folder "$release")"
    in_clone readme-compat "apt-get install -y $package &&
        LD_LIBRARY_PATH=$folder python3 -m pylib.sdl_stack && cd build/delay_test &&
        echo 3 | SDL_VIDEODRIVER=dummy LD_LIBRARY_PATH=$folder ./delay_test" || status=$?
    second=$(grep -E '^(SDL|sdl12-compat) ' "$(log readme-compat)" | tail -n 1 || true)
    named "$second" "$(release second "$release")" 2>>"$(log readme-compat)" || status=1
    grep -q "Se ha producido un error de" "$(log readme-compat)" || status=1
    record "$status" "$(log readme-compat)" "$release" "${second:-?}" \
        "$package, with LD_LIBRARY_PATH"
}

# ./test. A root without the formatter (its release has it from the
# security archive alone) must leave the format test out, and pass every
# other; CI's own ./test, with that archive, runs the format test.
check_test() {
    local status=0 what=./test
    in_clone test "./test" || status=$?
    if [ -n "$bare" ]; then
        what="./test, without the security archive"
        root_run "fresh-$release" "cd build && ctest --show-only=json-v1" | python3 -c '
import json, sys
format, = (t for t in json.load(sys.stdin)["tests"] if t["name"] == "format")
sys.exit({"name": "DISABLED", "value": True} not in format["properties"])' || status=1
    fi
    record "$status" "$(log test)" "$release" "$default" "$what"
}

# Once the packages are there, ./run needs no root: a user without sudo runs
# it in a clone of their own.
check_user_run() {
    local status=0
    in_clone run-user "useradd -m newcomer && cp -r /root/demos /home/newcomer/ &&
        rm -rf /home/newcomer/demos/build* && chown -R newcomer: /home/newcomer/demos &&
        su newcomer -c 'cd ~/demos && printf \"5\n\n\" | ./run'" || status=$?
    grep -q "^Se ha producido un error de" "$(log run-user)" || status=1
    record "$status" "$(log run-user)" "$release" "$default" "./run as a user without sudo"
}

check_sanitize() {
    local status=0
    in_clone sanitize "make test-sanitize" || status=$?
    record "$status" "$(log sanitize)" "$release" "$default" "make test-sanitize"
}

# The suite on the second stack; with one stack, the stack tested is the
# default.
check_compat() {
    local status=0 second
    in_clone compat "make test-compat" || status=$?
    second=$(release second "$release")
    record "$status" "$(log compat)" "$release" "${second:-$default}" "make test-compat"
}

for release in "${releases[@]}"; do
    echo "== $release ==" >&2
    release_start=$SECONDS
    # Where the formatter comes from the security archive alone, the root is
    # made without that archive, as a minbase install has it.
    bare=$([ "$(release formatter "$release")" = security ] && echo --no-security || true)
    # shellcheck disable=SC2086 # no option, no argument
    root_new "fresh-$release" "$release" $bare
    check_run
    check_bad_entry
    [ -z "$(release second-package "$release")" ] || check_second_stack_recipe
    check_test
    check_user_run
    [ "$release" = "$machine" ] || check_sanitize
    check_compat
    times+=("$release: $(elapsed $((SECONDS - release_start)))")
done

table Debian "SDL stack" command result time || true
echo
printf '%s\n' "${times[@]}"
[ "$FAILURES" -eq 0 ]
