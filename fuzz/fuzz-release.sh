#!/bin/bash
# Fuzzes blitshow's picture path (fuzz/picture_fuzzer.cpp) on the SDL 1.2
# stacks of the Debian release it runs on: the library releases.txt names
# under each stack ("built"), built from Debian's own sources with the
# sanitizers (build-fuzz-libs.sh), the rest of the stack Debian's binaries,
# as users run them. fuzz/fuzz.sh runs it on this machine and in roots.
#   fuzz-release.sh BUILD fuzz SECONDS    fuzz each library, then minimise its
#                                         corpus in fuzz/corpus/
#   fuzz-release.sh BUILD ci SECONDS      replay fuzz/corpus and fuzz/findings
#                                         on each, then fuzz each briefly
#   fuzz-release.sh BUILD replay FILE...  replay the files (and every file in
#                                         the folders) on each
# FUZZ_LIBRARIES picks libraries by name; the other releases' names are left
# to them. Each stack's line starts with "Stack ", a failing file's with
# "FAILED": lines fuzz/fuzz.sh reads.
set -euo pipefail
build=$(mkdir -p "$1" && cd "$1" && pwd)
mode=$2
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

# The stacks, by the name of their instrumented library: what to put in
# LD_LIBRARY_PATH to run it, and what loads the same stack as installed, by
# which pylib/sdl_stack.py names it.
names=()
declare -A instrumented_path installed_path
add_stack() { # NAME SOURCE BINARY FOLDER-IN-FRONT
    local lib
    case " ${FUZZ_LIBRARIES:-$1} " in *" $1 "*) ;; *) return 0 ;; esac
    lib=$(./fuzz/build-fuzz-libs.sh "$build" "$1" "$2" "$3")
    names+=("$1")
    instrumented_path[$1]=${4:+$4:}$lib
    installed_path[$1]=$4
}

# The default stack's library runs as installed; the second's is put in
# front by its folder. The target links against SDL 1.2: where the default
# stack is SDL 1.2 itself, the instrumented one, which sdl12-compat's folder
# takes the place of; elsewhere the installed sdl12-compat, which loads the
# instrumented library by LD_LIBRARY_PATH.
find_stacks() {
    local field name how source binary folder
    link=""
    for field in fuzzed second-fuzzed; do
        read -r name how source binary <<<"$(./pylib/release.sh "$field")"
        [ "$how" = built ] || continue
        folder=""
        [ "$field" = fuzzed ] || folder=$(./pylib/second-stack-folder.sh)
        add_stack "$name" "$source" "$binary" "$folder"
        if [ "$field" = fuzzed ] && [ "${name%.*}" = sdl1 ]; then
            link=$(./fuzz/build-fuzz-libs.sh "$build" "$name" "$source" "$binary")
        fi
    done
    for name in ${FUZZ_LIBRARIES:-}; do
        [ -n "${instrumented_path[$name]:-}" ] ||
            { echo "fuzz-release.sh: $name is not ${PRETTY_NAME:-this release}'s" >&2 && exit 1; }
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
    clang++ "${flags[@]}" "$out/blitshow.o" "$out/picture_fuzzer.o" ${link:+-L"$link"} -lSDL -lX11 \
        -o "$out/picture_fuzzer"
}

describe() { # NAME
    echo "$(LD_LIBRARY_PATH=${installed_path[$1]} python3 -m pylib.sdl_stack) [$1 with ASan and UBSan]"
}

# Each of these leaves what it found in $result, for the stack's line.
# Runs every file once; if any fails, each again alone, to name all that do.
replay() { # NAME FILE...
    local name=$1 log=$out/$1-replay.log failed=0 file
    shift
    if ! LD_LIBRARY_PATH=${instrumented_path[$name]} "$out/picture_fuzzer" "${options[@]}" "$@" \
        >"$log" 2>&1; then
        for file in "$@"; do
            LD_LIBRARY_PATH=${instrumented_path[$name]} "$out/picture_fuzzer" "${options[@]}" "$file" \
                >"$log.one" 2>&1 && continue
            failed=$((failed + 1))
            echo "FAILED in $name: $file"
            grep -E '^(==[0-9]+==ERROR|SUMMARY|.*runtime error)' "$log.one" | head -n 3 || true
        done
        # What fails only after many files is named by the first of them.
        if [ "$failed" -eq 0 ]; then
            failed=1
            echo "FAILED in $name, after $# files: $1 (log: $log)"
        fi
    fi
    result="$# files replayed, $failed failing"
    [ "$failed" -eq 0 ]
}

fuzz() { # NAME SECONDS
    local name=$1 corpus=fuzz/corpus/$1 work=$out/work-$1 log=$out/$1.log status=0
    mkdir -p "$corpus" "$work"
    echo "== $name: fuzzing for $2 s (log: $log)"
    LD_LIBRARY_PATH=${instrumented_path[$name]} "$out/picture_fuzzer" "${options[@]}" -max_total_time="$2" \
        -artifact_prefix="$PWD/fuzz/findings/$name-" "$work" "$corpus" "$out/seeds" \
        >"$log" 2>&1 || status=$?
    result="$2 s of fuzzing, $(libfuzzer_figures "$log")"
    if [ "$status" -ne 0 ]; then
        tail -n 40 "$log"
        result="$result, FINDING: $(sed -n 's/.*Test unit written to //p' "$log")"
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
    echo "$runs runs (${speed:-?}/s), cov $cov, ft $ft, corpus $corp"
}

# Keeps the inputs that add coverage, and writes them back into the tree.
minimise() { # NAME
    local name=$1 corpus=fuzz/corpus/$1 merged=$out/merged-$1
    rm -rf "$merged"
    mkdir -p "$merged"
    LD_LIBRARY_PATH=${instrumented_path[$name]} "$out/picture_fuzzer" "${options[@]}" -merge=1 "$merged" \
        "$corpus" "$out/seeds" "$out/work-$name" >"$out/$name-merge.log" 2>&1 ||
        { tail -n 40 "$out/$name-merge.log"; return 1; }
    rm -rf "$corpus"
    mv "$merged" "$corpus"
    result="$result; minimised: $(find "$corpus" -type f | wc -l) files in $corpus"
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
        echo "Stack $(describe "$name"): $result"
    done
    ;;
ci)
    mapfile -t files < <(files_in fuzz/corpus fuzz/findings)
    for name in "${names[@]}"; do
        replay "$name" "${files[@]}" || status=1
        replayed=$result
        fuzz "$name" "$1" || status=1
        echo "Stack $(describe "$name"): $replayed; $result"
    done
    ;;
replay)
    mapfile -t files < <(files_in "$@")
    for name in "${names[@]}"; do
        replay "$name" "${files[@]}" || status=1
        echo "Stack $(describe "$name"): $result"
    done
    ;;
*) echo "usage: fuzz-release.sh BUILD fuzz|ci|replay ..." >&2 && exit 1 ;;
esac
exit $status
