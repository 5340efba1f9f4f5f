#!/bin/bash
# Fuzzes blitshow's picture path (fuzz/picture_fuzzer.cpp) on the SDL 1.2
# stacks users run, every release's (releases.txt; docs/reliability.md):
# the machine's own release here, every other in a pristine root of it in
# BUILD/fuzz/RELEASE. A library releases.txt marks "built" is built from
# Debian's sources with the sanitizers (fuzz-release.sh); one marked
# "valgrind" is replayed as installed, under valgrind, with the real
# blitshow too (memcheck-replay.sh; replays only).
#   fuzz.sh fuzz BUILD SECONDS    fuzz each instrumented library, then
#                                 minimise its corpus in fuzz/corpus/
#   fuzz.sh ci BUILD SECONDS      replay every corpus and every finding on
#                                 each stack, then fuzz each library briefly
#   fuzz.sh replay BUILD FILE...  replay the files (and every file in the
#                                 folders) on each stack
# FUZZ_LIBRARIES picks libraries by name (releases.txt's).
# Ends with one line per stack; fails if any stack did. Findings land in
# fuzz/findings/, where the hostile-picture test runs them.
set -euo pipefail
mode=$1
build=$(mkdir -p "$2" && cd "$2" && pwd)
shift 2
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
out=$build/fuzz
mkdir -p "$out"

# Each release's libraries, by name, and how each is checked.
. /etc/os-release
machine=${VERSION_CODENAME:-}
mapfile -t releases < <(./pylib/release.sh list fuzzed)
declare -A LIBRARIES HOW
for release in "${releases[@]}"; do
    for field in fuzzed second-fuzzed; do
        read -r name how _ <<<"$(./pylib/release.sh "$field" "$release")"
        [ -z "$name" ] || { LIBRARIES[$release]+=" $name" && HOW[$name]=$how; }
    done
done
read -ra known <<<"${LIBRARIES[*]}"
for name in ${FUZZ_LIBRARIES:-}; do
    case " ${known[*]} " in *" $name "*) ;; *)
        echo "FUZZ_LIBRARIES: $name is none of: ${known[*]}" >&2
        exit 1
        ;;
    esac
done

# The libraries of RELEASE checked HOW that FUZZ_LIBRARIES picks (all by
# default).
picked() { # RELEASE HOW
    local name list=()
    for name in ${LIBRARIES[$1]}; do
        [ "${HOW[$name]}" = "$2" ] || continue
        case " ${FUZZ_LIBRARIES:-$name} " in *" $name "*) list+=("$name") ;; esac
    done
    echo "${list[*]}"
}

# What each release's script is given: the seconds of fuzzing, or the files
# to replay as absolute paths.
case $mode in
fuzz | ci) args=("$1") ;;
replay)
    args=()
    for file in "$@"; do
        args+=("$(realpath -e "$file")")
    done
    ;;
*) echo "usage: fuzz.sh fuzz|ci|replay BUILD ..." >&2 && exit 1 ;;
esac
# What a stack under valgrind replays through the fuzz target alone, and
# through the real blitshow too (memcheck-replay.sh): the corpora through the
# target, the findings, or the files named, through both.
if [ "$mode" = replay ]; then
    corpora=()
    findings=("${args[@]}")
else
    corpora=("$top/fuzz/corpus")
    findings=("$top/fuzz/findings")
fi

# A pristine root of RELEASE, made once and kept while it is there, with
# PURPOSE's packages installed from within.
prepare_root() { # RELEASE PURPOSE
    { [ -e "$out/$1/etc/os-release" ] || "$top/roots/debian-root.sh" "$1" "$out/$1"; } &&
        in_tree "$1" ./user/install-deps.sh "$2" || return 1
    # Files to replay from outside the tree go in at the same path.
    local file
    for file in "${corpora[@]}" "${findings[@]}"; do
        case $file in "$top"/*) ;; *) cp -r --parents "$file" "$out/$1" || return 1 ;; esac
    done
}

# Runs a command from the tree in RELEASE's root, which sees the tree at the
# same path.
in_tree() { # RELEASE COMMAND...
    local release=$1
    shift
    IN_ROOT_SHARE=$top "$top/roots/in-root.sh" "$out/$release" /usr/bin/env \
        FUZZ_LIBRARIES="$(picked "$release" built)" /bin/sh -c 'cd "$0" && exec "$@"' "$top" "$@"
}

# Runs a script of fuzzing on RELEASE, its build folder first: here on the
# machine's own release, else in RELEASE's root, where it builds in the
# root's own /build. (It runs as a condition, where set -e is off: hence
# the &&.)
on_release() { # RELEASE PURPOSE SCRIPT ARG...
    local release=$1 purpose=$2 script=$3
    shift 3
    if [ "$release" = "$machine" ]; then
        ./user/install-deps.sh "$purpose" &&
            FUZZ_LIBRARIES="$(picked "$release" built)" "$script" "$build" "$@"
    else
        prepare_root "$release" "$purpose" && in_tree "$release" "$script" /build "$@"
    fi
}

# Runs one release's part with its output in a log; shows its stack lines,
# and the log's end if it failed.
part() { # RELEASE HOW COMMAND...
    local release=$1 log=$out/$1-$2.log status=0 start=$SECONDS
    shift 2
    echo "== Debian $release (log: $log)"
    "$@" >"$log" 2>&1 || status=$?
    grep -E '^(Stack |FAILED)' "$log" || true
    echo "   $(((SECONDS - start) / 60)) min $(((SECONDS - start) % 60)) s"
    grep '^Stack ' "$log" >>"$out/summary" || true
    [ "$status" -eq 0 ] || { echo "Failed; the log's end:"; tail -n 30 "$log"; }
    return "$status"
}

rm -f "$out/summary"
status=0
for release in "${releases[@]}"; do
    [ -z "$(picked "$release" built)" ] ||
        part "$release" built on_release "$release" fuzz ./fuzz/fuzz-release.sh \
            "$mode" "${args[@]}" || status=1
    # A stack under valgrind has no instrumented library to fuzz, only files
    # to replay.
    [ "$mode" = fuzz ] || [ -z "$(picked "$release" valgrind)" ] ||
        part "$release" valgrind on_release "$release" memcheck ./fuzz/memcheck-replay.sh \
            "${corpora[@]}" --blitshow "${findings[@]}" || status=1
done
echo "== Summary"
cat "$out/summary" 2>/dev/null || true
exit $status
