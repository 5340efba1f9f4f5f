#!/bin/bash
# Fuzzes blitshow's picture path (fuzz/picture_fuzzer.cpp) on the SDL 1.2
# stacks users run, every release's (releases.txt; docs/reliability.md):
# the machine's own release here, from the working tree; every other in a
# pristine root of it (roots/root-lib.sh), kept with what was built in it,
# from a clean clone of the last commit. A library releases.txt marks
# "built" is built from Debian's sources with the sanitizers
# (fuzz-release.sh); one marked "valgrind" is replayed as installed, under
# valgrind, with the real blitshow too (memcheck-replay.sh; replays only).
#   fuzz.sh fuzz BUILD SECONDS    fuzz each instrumented library, then
#                                 minimise its corpus in fuzz/corpus/
#   fuzz.sh ci BUILD SECONDS      replay every corpus and every finding on
#                                 each stack, then fuzz each library briefly
#   fuzz.sh replay BUILD FILE...  replay the files (and every file in the
#                                 folders) on each stack
# FUZZ_LIBRARIES picks libraries by name (releases.txt's).
# Ends with one line per stack; fails if any stack did. Findings land in
# fuzz/findings/, where the hostile-picture test runs them; from a root,
# they and the minimised corpora come back into the working tree.
set -euo pipefail
mode=$1
build=$(mkdir -p "$2" && cd "$2" && pwd)
shift 2
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
. roots/root-lib.sh
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
# target, the findings, or the files named, through both. The scripts run
# from the top of a tree, the working tree's or the clone's.
if [ "$mode" = replay ]; then
    corpora=()
    findings=("${args[@]}")
else
    corpora=(fuzz/corpus)
    findings=(fuzz/findings)
fi

# Runs a script of fuzzing on RELEASE, its build folder first, with
# PURPOSE's packages: here on the machine's own release, else in RELEASE's
# root, kept with what it built in /build, with a fresh clone and the files
# named to replay at the same path; from there the findings come back, and
# in fuzz mode each library's minimised corpus. (It runs as a condition,
# where set -e is off: hence the &&.)
on_release() { # RELEASE PURPOSE SCRIPT ARG...
    local release=$1 purpose=$2 script=$3 libraries status=0 name file
    libraries=$(picked "$release" built)
    shift 3
    if [ "$release" = "$machine" ]; then
        ./user/install-deps.sh "$purpose" && FUZZ_LIBRARIES=$libraries "$script" "$build" "$@"
        return
    fi
    root_new "fuzz-$release" "$release" --keep || return 1
    for file in "${findings[@]}"; do
        case $file in /*) cp -r --parents "$file" "$ROOTS/fuzz-$release" || return 1 ;; esac
    done
    root_run "fuzz-$release" "./user/install-deps.sh $purpose &&
        FUZZ_LIBRARIES='$libraries' $(printf '%q ' "$script" /build "$@")" || status=$?
    root_fetch "fuzz-$release" fuzz/findings "$top/fuzz/findings" || status=1
    [ "$mode" != fuzz ] || for name in $libraries; do
        rm -rf "$top/fuzz/corpus/$name"
        root_fetch "fuzz-$release" "fuzz/corpus/$name" "$top/fuzz/corpus/$name" || status=1
    done
    # CI's machine starts clean each time: there a kept root only fills the
    # disk.
    [ -z "${FUZZ_DROP_ROOTS:-}" ] || root_drop "fuzz-$release"
    return "$status"
}

# Runs one release's part with its output in a log; shows its stack lines
# and its row.
part() { # RELEASE HOW COMMAND...
    local release=$1 how=$2 log=$out/$1-$2.log status=0
    shift 2
    echo "== Debian $release (log: ${log#"$top"/})"
    "$@" >"$log" 2>&1 || status=$?
    # fuzz-release.sh's and memcheck-replay.sh's lines meant for this script.
    grep -E '^(Stack |FAILED)' "$log" || true
    grep '^Stack ' "$log" >>"$out/summary" || true
    record "$status" "$log" "Debian $release" "$how" 2>&1
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
