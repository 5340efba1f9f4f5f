# shellcheck shell=bash
# The one way to run work in a pristine Debian root, sourced by the scripts
# that do (test-fresh.sh, test-cross.sh, bench-release.sh, fuzz/fuzz.sh):
# make the root, put this repository in it, run a step there, bring back what
# the step made, and record the step's row of a closing table.
#
# Every root is build/roots/PURPOSE-RELEASE[-ARCH] in the tree. The
# repository goes in as a clean clone of its last commit at /root/demos,
# which is what a newcomer and CI get: commit what a root is to test.

roots_top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
ROOTS=$roots_top/build/roots
ROWS=()
FAILURES=0
row_start=$SECONDS

# Makes NAME a root of RELEASE (debian-root.sh, with its options) holding a
# fresh clone of the repository.
root_new() { # NAME RELEASE [OPTION...]
    "$roots_top/roots/debian-root.sh" "${@:3}" "$2" "$ROOTS/$1" &&
        rm -rf "$ROOTS/$1/root/demos" &&
        git clone -q "$roots_top" "$ROOTS/$1/root/demos"
}

# Runs a shell command as root in the clone inside NAME. Gives its status.
root_run() { # NAME COMMAND
    "$roots_top/roots/in-root.sh" "$ROOTS/$1" /bin/sh -c "cd /root/demos && $2"
}

# Copies what a step made in the clone (a folder, from the clone's top) to
# DEST on the machine, adding to what is there.
root_fetch() { # NAME FOLDER DEST
    mkdir -p "$3" && cp -r "$ROOTS/$1/root/demos/$2/." "$3/"
}

elapsed() { # SECONDS
    printf '%d min %02d s' $(($1 / 60)) $(($1 % 60))
}

# Records a row of the closing table: the CELLs, the result, and the time
# since the previous row. The result is ok, with ctest's count and the tests
# it did not run where LOG has them; or FAILED, and LOG's end is shown.
record() { # STATUS LOG CELL...
    local status=$1 log=$2 result passed skipped took=$((SECONDS - row_start))
    shift 2
    row_start=$SECONDS
    if [ "$status" -eq 0 ]; then
        passed=$(grep -E -o '^[0-9]+% tests passed.*' "$log" | tail -n 1 || true)
        skipped=$(sed -n 's/^[[:space:]]*[0-9]* - \(.*\) (\(Skipped\|Disabled\))$/\1/p' "$log" |
            paste -sd, - | sed 's/,/, /g')
        result="ok${passed:+: $passed}${skipped:+; not run: $skipped}"
    else
        result="FAILED (log: $log)"
        FAILURES=$((FAILURES + 1))
        tail -n 30 "$log" >&2
    fi
    ROWS+=("$(printf '| %s ' "$@" "$result" "$(elapsed "$took")")|")
    echo "${ROWS[-1]}" >&2
}

# Prints the closing table under its HEADINGs; fails if any row did.
table() { # HEADING...
    echo
    printf '| %s ' "$@"
    echo '|'
    printf '|---%.0s' "$@"
    echo '|'
    printf '%s\n' "${ROWS[@]}"
    [ "$FAILURES" -eq 0 ]
}
