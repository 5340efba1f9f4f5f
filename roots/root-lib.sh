# shellcheck shell=bash
# The one way to run work in a pristine Debian root, sourced by test-fresh.sh,
# test-cross.sh, bench-release.sh and fuzz/fuzz.sh: make the root
# (build/roots/PURPOSE-RELEASE[-ARCH]), put in a clean clone of the
# repository's last commit, as a newcomer and CI get it, run steps there,
# bring back what they made, and record each step's row of a closing table.
roots_top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
ROOTS=$roots_top/build/roots
ROWS=() FAILURES=0 row_start=$SECONDS
mkdir -p "$ROOTS"

root_new() { # NAME RELEASE [debian-root.sh's OPTION...]
    "$roots_top/roots/debian-root.sh" "$2" "$ROOTS/$1" "${@:3}" && rm -rf "$ROOTS/$1/root/demos" &&
        git clone -q "$roots_top" "$ROOTS/$1/root/demos"
}

# Removes a root once its steps are done, as each run makes its own anew;
# KEEP_ROOTS=1 keeps it, to look into with in-root.sh.
root_drop() { # NAME
    [ -n "${KEEP_ROOTS:-}" ] || rm -rf --one-file-system "${ROOTS:?}/$1"
}

# Runs a shell command as root in the clone. Gives its status.
root_run() { # NAME COMMAND
    "$roots_top/roots/in-root.sh" "$ROOTS/$1" /bin/sh -c "cd /root/demos && $2"
}

# Adds what a step made in a folder of the clone to DEST on the machine.
root_fetch() { # NAME FOLDER DEST
    mkdir -p "$3" && cp -r "$ROOTS/$1/root/demos/$2/." "$3/"
}

elapsed() { # SECONDS
    printf '%d min %02d s' $(($1 / 60)) $(($1 % 60))
}

# A row of the closing table: the CELLs, the result (ok, with each ctest
# run's count and the tests not run where LOG has them; not served, where a
# step exits with 3 for what the archive lacks; or FAILED, and LOG shown),
# and the time since the previous row.
record() { # STATUS LOG CELL...
    local log=$2 result passed skipped first
    if [ "$1" -eq 0 ]; then
        passed=$(grep -E -o '^[0-9]+% tests passed.*' "$log" |
            awk 'NR > 1 { printf "; then " } { printf "%s", $0 }' || true)
        skipped=$(sed -n 's/^[[:space:]]*[0-9]* - \(.*\) (\(Skipped\|Disabled\))$/\1/p' "$log" |
            awk '!seen[$0]++' | paste -sd, |
            sed 's/,/, /g')
        result="ok${passed:+: $passed}${skipped:+; not run: $skipped}"
    elif [ "$1" -eq 3 ]; then
        result="not served by the archive"
    else
        result="FAILED (log: ${log#"$roots_top"/})" FAILURES=$((FAILURES + 1))
        # The log's end, after the output of the first test that failed,
        # which may come well before: ctest marks it ***Failed.
        first=$(grep -n -m 1 -E '\*\*\*(Failed|Timeout|Exception)' "$log" | cut -d: -f1 || true)
        awk -v from="${first:-0}" -v lines="$(wc -l <"$log")" \
            '(from && NR >= from && NR < from + 100) || NR > lines - 30' "$log" >&2
    fi
    ROWS+=("$(printf '| %s ' "${@:3}" "$result" "$(elapsed $((SECONDS - row_start)))")|")
    row_start=$SECONDS
    echo "${ROWS[-1]}" >&2
}

# The closing table under its HEADINGs; fails if any row did.
table() { # HEADING...
    printf '\n%s|\n%s|\n' "$(printf '| %s ' "$@")" "$(printf '|---%.0s' "$@")"
    printf '%s\n' "${ROWS[@]}"
    [ "$FAILURES" -eq 0 ]
}
