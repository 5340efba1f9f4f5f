#!/bin/bash
# Fuzzes blitshow's picture path (fuzz/picture_fuzzer.cpp) on the five SDL
# 1.2 stacks users run (docs/reliability.md):
# - Debian 12's, on this machine: SDL 1.2.15, and SDL2 2.26 under
#   sdl12-compat, each library built with the sanitizers;
# - Debian 13's, in a pristine Debian 13 root in BUILD/fuzz/trixie: SDL2
#   2.32 under sdl12-compat, and SDL3 3.2 under sdl12-compat and
#   sdl2-compat, likewise;
# - Debian 14's, in a pristine Debian 14 root in BUILD/fuzz/forky: its
#   installed stack under valgrind, with the real blitshow (replays only).
#   fuzz.sh fuzz BUILD SECONDS    fuzz each instrumented library, then
#                                 minimise its corpus in fuzz/corpus/
#   fuzz.sh ci BUILD SECONDS      replay every corpus and every finding on
#                                 each stack, then fuzz each library briefly
#   fuzz.sh replay BUILD FILE...  replay the files (and every file in the
#                                 folders) on each stack
# FUZZ_LIBRARIES picks libraries: sdl1.2, sdl2.26, sdl2.32, sdl3.2.
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

# The stacks, by the name of their checked library and its version.
declare -A LIBRARIES=([bookworm]="sdl1.2 sdl2.26" [trixie]="sdl2.32 sdl3.2" [forky]="sdl3.4")
known="${LIBRARIES[bookworm]} ${LIBRARIES[trixie]} ${LIBRARIES[forky]}"
for name in ${FUZZ_LIBRARIES:-}; do
    case " $known " in *" $name "*) ;; *)
        echo "FUZZ_LIBRARIES: $name no es ninguna de: $known" >&2
        exit 1
        ;;
    esac
done

# The libraries of RELEASE that FUZZ_LIBRARIES picks (all by default).
picked() { # RELEASE
    local name list=()
    for name in ${LIBRARIES[$1]}; do
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
*) echo "uso: fuzz.sh fuzz|ci|replay CARPETA ..." >&2 && exit 1 ;;
esac
# What Debian 14's stack replays through the fuzz target alone, and through
# the real blitshow too (memcheck-replay.sh): the corpora through the
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
        in_root "$1" ./user/install-deps.sh "$2" || return 1
    # Files to replay from outside the tree go in at the same path.
    local file
    for file in "${corpora[@]}" "${findings[@]}"; do
        case $file in "$top"/*) ;; *) cp -r --parents "$file" "$out/$1" || return 1 ;; esac
    done
}

# Runs a command from the tree, which the root sees at the same path; its
# build folder is the root's own /build.
in_root() { # RELEASE COMMAND...
    local release=$1
    shift
    IN_ROOT_SHARE=$top "$top/roots/in-root.sh" "$out/$release" /usr/bin/env \
        FUZZ_LIBRARIES="$(picked "$release")" /bin/sh -c 'cd "$0" && exec "$@"' "$top" "$@"
}

# Runs one release's part with its output in a log; shows its stack lines,
# and the log's end if it failed.
part() { # RELEASE COMMAND...
    local release=$1 log=$out/$1.log status=0 start=$SECONDS
    shift
    [ -n "$(picked "$release")" ] || return 0
    echo "== Debian $release (registro: $log)"
    "$@" >"$log" 2>&1 || status=$?
    grep -E '^(Pila |FALLA)' "$log" || true
    echo "   $(((SECONDS - start) / 60)) min $(((SECONDS - start) % 60)) s"
    grep '^Pila ' "$log" >>"$out/summary" || true
    [ "$status" -eq 0 ] || { echo "Falló; final del registro:"; tail -n 30 "$log"; }
    return "$status"
}

fuzz_on_this_machine() {
    FUZZ_LIBRARIES="$(picked bookworm)" ./fuzz/fuzz-release.sh "$mode" "$build" "${args[@]}"
}

# (Each runs as a condition, where set -e is off: hence the &&.)
fuzz_in_debian_13() {
    prepare_root trixie fuzz &&
        in_root trixie ./fuzz/fuzz-release.sh "$mode" /build "${args[@]}"
}

memcheck_in_debian_14() {
    prepare_root forky memcheck &&
        in_root forky ./fuzz/memcheck-replay.sh /build "${corpora[@]}" --blitshow "${findings[@]}"
}

rm -f "$out/summary"
status=0
part bookworm fuzz_on_this_machine || status=1
part trixie fuzz_in_debian_13 || status=1
# Debian 14's stack has no instrumented library to fuzz, only files to replay.
[ "$mode" = fuzz ] || part forky memcheck_in_debian_14 || status=1
echo "== Resumen"
cat "$out/summary" 2>/dev/null || true
exit $status
