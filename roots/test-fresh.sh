#!/bin/bash
# Proves the README's two commands on new machines. For every release in
# releases.txt it makes a pristine minbase root, puts a clean clone of this
# repository in it and runs there, as a newcomer would type them, ./run
# (headless, its input given; it must install no test tool, and fail on a bad
# entry yet still show the window), the plain cmake line, the README's recipe
# for the release's second SDL stack, and ./test (where clang-format-22 comes
# from the security archive alone, without that archive: the format test
# alone is skipped); then the sanitizer run, but on the machine's own release,
# where CI runs it, and the suite on the second stack. Each stack must be the
# one releases.txt names. Ends with a table: release, stack, command, result,
# time; and each root's time.
#
# Usage: test-fresh.sh [RELEASE...]   (default: every release)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
work=${FRESH_DIR:-$top/build/fresh}
release() { "$top/pylib/release.sh" "$@"; }
if [ $# -gt 0 ]; then releases=("$@"); else mapfile -t releases < <(release list); fi
. /etc/os-release
machine=${VERSION_CODENAME:-}
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

# ctest's closing count, where the command ran ctest.
outcome() { # LOG
    grep -E -o '^[0-9]+% tests passed.*' "$1" | tail -n 1 || true
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
        result="FAILED (log: $5)"
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

# Packages that only ./test may install.
TEST_TOOLS="libgtest-dev valgrind clang-format-22 openbox shellcheck pyflakes3"

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
    named "$default" "$(release default "$release")" 2>>"$work/$release-run.log" || status=1
    record "$release" "$default" "./run, and the cmake line" "$status" "$work/$release-run.log"

    # A bad entry: ./run fails and says why, and blitshow still shows.
    status=0
    in_clone "$release" run-bad "printf 'x\n\n' | ./run" && status=1
    grep -q "^delay_test ended with status 1$" "$work/$release-run-bad.log" || status=1
    grep -q "^Pulse ENTER para continuar" "$work/$release-run-bad.log" || status=1
    record "$release" "$default" "./run, a bad entry" "$status" "$work/$release-run-bad.log"

    # The README's recipe for the second stack, as it stands there: its
    # package, and LD_LIBRARY_PATH to its folder.
    package=$(release second-package "$release")
    if [ -n "$package" ]; then
        status=0
        folder="/usr/lib/\$(gcc -print-multiarch)/$(release second-folder "$release")"
        in_clone "$release" readme-compat "apt-get install -y $package &&
            LD_LIBRARY_PATH=$folder python3 -m pylib.sdl_stack && cd build/delay_test &&
            echo 3 | SDL_VIDEODRIVER=dummy LD_LIBRARY_PATH=$folder ./delay_test" || status=$?
        second=$(grep -E '^(SDL|sdl12-compat) ' "$work/$release-readme-compat.log" | tail -n 1 || true)
        named "$second" "$(release second "$release")" 2>>"$work/$release-readme-compat.log" || status=1
        grep -q "Se ha producido un error de" "$work/$release-readme-compat.log" || status=1
        record "$release" "${second:-?}" "$package, with LD_LIBRARY_PATH" "$status" \
            "$work/$release-readme-compat.log"
    fi

    # Where the formatter comes from the security archive alone, ./test runs
    # without it, as a minbase install has it: the formatter is not to be had,
    # and every other test must run. CI's own ./test, with that archive, runs
    # the format test.
    status=0 what=./test
    bare=$([ "$(release formatter "$release")" = security ] && echo yes || true)
    if [ -n "$bare" ]; then
        sed -i '/-security /d' "$work/$release/etc/apt/sources.list"
        what="./test, without the security archive"
    fi
    in_clone "$release" test "./test" || status=$?
    if [ -n "$bare" ]; then
        grep -q "^clang-format-22 is not in this system's apt archives" "$work/$release-test.log" &&
            grep -Eq "^ *[0-9]+/[0-9]+ Test +#[0-9]+: format .*Disabled" "$work/$release-test.log" &&
            grep -q "^100% tests passed" "$work/$release-test.log" || status=1
    fi
    record "$release" "$default" "$what" "$status" "$work/$release-test.log"

    # Once the packages are there, ./run needs no root: a user without sudo
    # runs it in a clone of their own.
    status=0
    in_clone "$release" run-user "useradd -m newcomer && cp -r /root/demos /home/newcomer/ &&
        rm -rf /home/newcomer/demos/build* && chown -R newcomer: /home/newcomer/demos &&
        su newcomer -c 'cd ~/demos && printf \"5\n\n\" | ./run'" || status=$?
    grep -q "^Se ha producido un error de" "$work/$release-run-user.log" || status=1
    record "$release" "$default" "./run as a user without sudo" "$status" "$work/$release-run-user.log"

    if [ "$release" != "$machine" ]; then
        status=0
        in_clone "$release" sanitize "make test-sanitize" || status=$?
        record "$release" "$default" "make test-sanitize" "$status" "$work/$release-sanitize.log"
    fi

    status=0
    in_clone "$release" compat "make test-compat" || status=$?
    second=$(sed -n 's/^SDL stack: //p' "$work/$release-compat.log")
    # With one stack, the stack tested is the default.
    [ "$second" != "this release has one" ] || second=$default
    record "$release" "${second:-?}" "make test-compat" "$status" "$work/$release-compat.log"

    times+=("$release: $(minutes $((SECONDS - release_start)))")
done

echo
echo "| Debian | SDL stack | command | result | time |"
echo "|---|---|---|---|---|"
printf '%s\n' "${rows[@]}"
echo
printf '%s\n' "${times[@]}"
[ "$failures" -eq 0 ]
