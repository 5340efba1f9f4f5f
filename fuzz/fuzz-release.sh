#!/bin/bash
# Fuzzes blitshow's picture path (fuzz/picture_fuzzer.cpp) on the SDL 1.2
# stacks of the Debian release it runs on, one library of each stack built
# from Debian's own sources with the sanitizers (build-fuzz-libs.sh), the
# rest of the stack Debian's binaries, as users run them:
# - Debian 12: SDL 1.2.15; SDL2 2.26 under sdl12-compat (fetch-compat.sh);
# - Debian 13: SDL2 2.32 under sdl12-compat, its default; SDL3 3.2 under
#   sdl12-compat and sdl2-compat.
# fuzz/fuzz.sh runs it on this machine and in a Debian 13 root.
#   fuzz-release.sh fuzz BUILD SECONDS    fuzz each library, then minimise its
#                                         corpus in fuzz/corpus/
#   fuzz-release.sh ci BUILD SECONDS      replay fuzz/corpus and fuzz/findings
#                                         on each, then fuzz each briefly
#   fuzz-release.sh replay BUILD FILE...  replay the files (and every file in
#                                         the folders) on each
# FUZZ_LIBRARIES picks libraries by name (sdl1.2, sdl2.26, sdl2.32, sdl3.2);
# the other releases' names are left to them. Each stack's line starts with
# "Pila ".
set -euo pipefail
mode=$1
build=$(mkdir -p "$2" && cd "$2" && pwd)
shift 2
cd "$(dirname "$0")/.."
out=$build/fuzz
mkdir -p "$out" fuzz/findings
. /etc/os-release

# Library UB halts the run unless suppressions/ubsan.supp records it as the library's.
export ASAN_OPTIONS=detect_leaks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1:suppressions=$PWD/suppressions/ubsan.supp
# No single allocation over 100 MiB: a picture within the fuzzer's length
# never needs one.
options=(-rss_limit_mb=2048 -malloc_limit_mb=100 -timeout=10 -max_len=16384
    -print_final_stats=1)

# The stacks, by name (the instrumented library and its version): what to put
# in LD_LIBRARY_PATH to run it, and what loads the same stack uninstrumented
# (the installed library of the same version), by which pylib/sdl_stack.py
# names it.
names=()
declare -A path plain
add_stack() { # LIBRARY (sdl1.2, sdl2, sdl3) PACKAGE FOLDER-IN-FRONT
    local version name lib
    version=$(dpkg-query -W -f='${Version}' "$2")
    name=sdl$(echo "$version" | cut -d. -f1,2)
    case " ${FUZZ_LIBRARIES:-$name} " in *" $name "*) ;; *) return 0 ;; esac
    lib=$(./fuzz/build-fuzz-libs.sh "$build" "$1")
    names+=("$name")
    path[$name]=${3:+$3:}$lib
    plain[$name]=$3
}

# The target links against SDL 1.2: Debian 12's instrumented SDL 1.2.15,
# where sdl12-compat takes its place by LD_LIBRARY_PATH; Debian 13's own
# sdl12-compat, which loads the instrumented library by LD_LIBRARY_PATH.
find_stacks() {
    case "${VERSION_CODENAME:-}" in
    bookworm)
        link=$(./fuzz/build-fuzz-libs.sh "$build" sdl1.2)
        add_stack sdl1.2 libsdl1.2debian ""
        add_stack sdl2 libsdl2-2.0-0 "$(./user/second-stack-folder.sh "$build")"
        ;;
    trixie)
        link=""
        add_stack sdl2 libsdl2-2.0-0 ""
        add_stack sdl3 libsdl3-0 "$(./user/second-stack-folder.sh "$build")"
        ;;
    *) echo "fuzz-release.sh: no se conocen las pilas de ${PRETTY_NAME:-esta versión}" >&2 && exit 1 ;;
    esac
    local name
    for name in ${FUZZ_LIBRARIES:-}; do
        [ -n "${path[$name]:-}" ] ||
            { echo "fuzz-release.sh: $name no es de ${PRETTY_NAME:-esta versión}" >&2 && exit 1; }
    done
}

# With blitshow.cpp itself for the header check (main renamed), compiled
# against the release's own SDL 1.2 headers, as blitshow is.
build_target() {
    local flags sdl_flags source
    flags=(-g -O1 "-fsanitize=fuzzer,address,undefined" -fno-sanitize-recover=all
        -fno-omit-frame-pointer)
    read -ra sdl_flags < <(pkg-config --cflags sdl)
    for source in blitshow/blitshow.cpp fuzz/picture_fuzzer.cpp; do
        clang++ -std=c++17 -Wall -Wextra -Wpedantic "${flags[@]}" "${sdl_flags[@]}" \
            -Iblitshow -Dmain=blitshow_main -c "$source" -o "$out/$(basename "$source" .cpp).o"
    done
    clang++ "${flags[@]}" "$out/blitshow.o" "$out/picture_fuzzer.o" ${link:+-L"$link"} -lSDL \
        -o "$out/picture_fuzzer"
}

describe() { # NAME
    echo "$(LD_LIBRARY_PATH=${plain[$1]} python3 -m pylib.sdl_stack) [$1 con ASan y UBSan]"
}

# Each of these leaves what it found in $result, for the stack's line.
# Runs every file once; if any fails, each again alone, to name all that do.
replay() { # NAME FILE...
    local name=$1 log=$out/$1-replay.log failed=0 file
    shift
    if ! LD_LIBRARY_PATH=${path[$name]} "$out/picture_fuzzer" "${options[@]}" "$@" \
        >"$log" 2>&1; then
        for file in "$@"; do
            LD_LIBRARY_PATH=${path[$name]} "$out/picture_fuzzer" "${options[@]}" "$file" \
                >"$log.one" 2>&1 && continue
            failed=$((failed + 1))
            echo "FALLA en $name: $file"
            grep -E '^(==[0-9]+==ERROR|SUMMARY|.*runtime error)' "$log.one" | head -n 3 || true
        done
        # What fails only after many files is named by the first of them.
        if [ "$failed" -eq 0 ]; then
            failed=1
            echo "FALLA en $name, tras $# ficheros: $1 (registro: $log)"
        fi
    fi
    result="$# ficheros repetidos, $failed fallan"
    [ "$failed" -eq 0 ]
}

fuzz() { # NAME SECONDS
    local name=$1 corpus=fuzz/corpus/$1 work=$out/work-$1 log=$out/$1.log status=0
    mkdir -p "$corpus" "$work"
    echo "== $name: fuzzing durante $2 s (registro: $log)"
    LD_LIBRARY_PATH=${path[$name]} "$out/picture_fuzzer" "${options[@]}" -max_total_time="$2" \
        -artifact_prefix="$PWD/fuzz/findings/$name-" "$work" "$corpus" "$out/seeds" \
        >"$log" 2>&1 || status=$?
    result="$2 s de fuzzing, $(libfuzzer_figures "$log")"
    if [ "$status" -ne 0 ]; then
        tail -n 40 "$log"
        result="$result, HALLAZGO: $(sed -n 's/.*Test unit written to //p' "$log")"
    fi
    return "$status"
}

# libFuzzer's final counts and last status line, in a few words.
libfuzzer_figures() { # LOG
    local runs speed cov ft corp
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$1")
    speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$1")
    read -r cov ft corp < <(grep -E '^#[0-9]+' "$1" | tail -n 1 |
        sed -E 's/.*cov: ([0-9]+).*ft: ([0-9]+).*corp: ([0-9]+).*/\1 \2 \3/')
    echo "$runs ejecuciones (${speed:-?}/s), cov $cov, ft $ft, corpus $corp"
}

# Keeps the inputs that add coverage, and writes them back into the tree.
minimise() { # NAME
    local name=$1 corpus=fuzz/corpus/$1 merged=$out/merged-$1
    rm -rf "$merged"
    mkdir -p "$merged"
    LD_LIBRARY_PATH=${path[$name]} "$out/picture_fuzzer" "${options[@]}" -merge=1 "$merged" \
        "$corpus" "$out/seeds" "$out/work-$name" >"$out/$name-merge.log" 2>&1 ||
        { tail -n 40 "$out/$name-merge.log"; return 1; }
    rm -rf "$corpus"
    mv "$merged" "$corpus"
    result="$result; minimizado: $(find "$corpus" -type f | wc -l) ficheros en $corpus"
}

# Small pictures in every layout the loaders read, and the tests' hostile
# corpus.
write_seeds() {
    PYTHONPATH=$PWD PYTHONDONTWRITEBYTECODE=1 python3 fuzz/seeds.py "$out/seeds"
}

# Every file named, and every file in the folders named.
files_in() { # FILE-OR-FOLDER...
    [ $# -eq 0 ] || find "$@" -type f | sort
}

find_stacks
build_target
write_seeds
status=0
case $mode in
fuzz)
    for name in "${names[@]}"; do
        { fuzz "$name" "$1" && minimise "$name"; } || status=1
        echo "Pila $(describe "$name"): $result"
    done
    ;;
ci)
    mapfile -t files < <(files_in fuzz/corpus fuzz/findings)
    for name in "${names[@]}"; do
        replay "$name" "${files[@]}" || status=1
        replayed=$result
        fuzz "$name" "$1" || status=1
        echo "Pila $(describe "$name"): $replayed; $result"
    done
    ;;
replay)
    mapfile -t files < <(files_in "$@")
    for name in "${names[@]}"; do
        replay "$name" "${files[@]}" || status=1
        echo "Pila $(describe "$name"): $result"
    done
    ;;
*) echo "uso: fuzz-release.sh fuzz|ci|replay CARPETA ..." >&2 && exit 1 ;;
esac
exit $status
