#!/bin/bash
# Fuzzes blitshow's picture path (fuzz/picture_fuzzer.cpp) on the SDL 1.2
# stacks of the Debian release it runs on: the library releases.txt names
# under each stack ("built"), built from Debian's own sources with the
# sanitizers (build-fuzz-libs.sh), the rest of the stack Debian's binaries,
# as users run them. fuzz/fuzz.sh runs it on this machine and in a root of
# each other release.
#   fuzz-release.sh BUILD fuzz SECONDS    fuzz each library, then minimise its
#                                         corpus in fuzz/corpus/
#   fuzz-release.sh BUILD ci SECONDS      replay fuzz/corpus and fuzz/findings
#                                         on each, then fuzz each briefly
#   fuzz-release.sh BUILD replay FILE...  replay the files (and every file in
#                                         the folders) on each
# FUZZ_LIBRARIES picks some of this release's libraries (fuzz.sh passes its
# picks); any other name is an error. fuzz.sh reads the lines that start
# with "Stack " (one a stack) and "FAILED" (one a failing file).
set -euo pipefail
usage() { echo "usage: fuzz-release.sh BUILD fuzz|ci SECONDS, or BUILD replay FILE..." >&2 && exit 1; }
[ $# -ge 3 ] || usage
mode=$2
top=$(cd "$(dirname "$0")/.." && pwd)
# What to replay, as absolute paths: the script works from the tree's top.
case $mode in
fuzz | ci)
    [ $# -eq 3 ] && [[ $3 =~ ^[0-9]+$ ]] || usage
    seconds=$3
    replayed=("$top/fuzz/corpus" "$top/fuzz/findings")
    ;;
replay)
    paths=$(realpath -e -- "${@:3}") || usage
    mapfile -t replayed <<<"$paths"
    ;;
*) usage ;;
esac
build=$(mkdir -p "$1" && cd "$1" && pwd)
cd "$top"
out=$build/fuzz
mkdir -p "$out" fuzz/findings
. /etc/os-release
# Every file named, and every file in the folders named.
[ "$mode" = fuzz ] || mapfile -t files < <(find "${replayed[@]}" -type f | sort)
[ "$mode" != replay ] || [ ${#files[@]} -gt 0 ] || usage

# The stacks this release fuzzes, by the name of their instrumented library:
# its source and binary package, and the second stack's folder, put in front
# of the library in LD_LIBRARY_PATH.
names=()
declare -A sources binaries folder instrumented_path
for field in fuzzed second-fuzzed; do
    read -r name how source binary <<<"$(./pylib/release.sh "$field")"
    sources[$name]=$source
    binaries[$name]=$binary
    [ "$how" = built ] || continue
    folder[$name]=$([ "$field" = fuzzed ] || ./pylib/second-stack-folder.sh)
    case " ${FUZZ_LIBRARIES:-$name} " in *" $name "*) names+=("$name") ;; esac
done
for name in ${FUZZ_LIBRARIES:-}; do
    [ -n "${folder[$name]+set}" ] ||
        { echo "fuzz-release.sh: $name is not ${PRETTY_NAME:-this release}'s" >&2 && exit 1; }
done

# Each library built (build-fuzz-libs.sh), and its stack's LD_LIBRARY_PATH.
for name in "${names[@]}"; do
    lib=$(./fuzz/build-fuzz-libs.sh "$build" "$name" "${sources[$name]}" "${binaries[$name]}")
    instrumented_path[$name]=${folder[$name]:+${folder[$name]}:}$lib
done

# The target (fuzz/CMakeLists.txt), against the release's own SDL 1.2 headers,
# as blitshow is. Where the default stack is SDL 1.2 itself, linked against
# the instrumented one (as pkg-config's SDL library), which sdl12-compat's
# folder takes the place of; elsewhere against the installed sdl12-compat,
# which loads the instrumented library. No run path: LD_LIBRARY_PATH picks.
read -r name how _ <<<"$(./pylib/release.sh fuzzed)"
link=""
[ "${name%.*}" != sdl1 ] ||
    link=$(./fuzz/build-fuzz-libs.sh "$build" "$name" "${sources[$name]}" "${binaries[$name]}")/libSDL.so
target=$out/target
# The libraries' flags, and UB in the target's own code always halts.
flags="-g -O1 -fsanitize=address,undefined,fuzzer-no-link -fno-omit-frame-pointer -fno-sanitize-recover=all"
{
    cmake -S . -B "$target" -DBUILD_FUZZER=ON -DBUILD_TESTING=OFF -DCMAKE_BUILD_TYPE=None \
        -DCMAKE_CXX_COMPILER=clang++ -Dpkgcfg_lib_SDL_SDL="$link" -DCMAKE_SKIP_RPATH=ON \
        -DCMAKE_CXX_FLAGS="$flags" &&
        cmake --build "$target" -j2 --target picture_fuzzer
} >"$out/target.log" 2>&1 || { tail -n 30 "$out/target.log" >&2 && exit 1; }

# Library UB halts the run unless suppressions/ubsan.supp records it as the library's.
export ASAN_OPTIONS=detect_leaks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1:suppressions=$PWD/suppressions/ubsan.supp
# No single allocation over 100 MiB: a picture within the fuzzer's length
# never needs one.
options=(-rss_limit_mb=2048 -malloc_limit_mb=100 -timeout=10 -max_len=16384
    -print_final_stats=1)

run_target() { # NAME LIBFUZZER-ARGUMENT...
    LD_LIBRARY_PATH=${instrumented_path[$1]} "$target/fuzz/picture_fuzzer" "${options[@]}" "${@:2}"
}

# Each of these prints what it found, for the stack's line, and the rest on
# standard error.
# Runs every file once; if any fails, each again alone, to name all that do.
replay() { # NAME FILE...
    local name=$1 log=$out/$1-replay.log failed=0 file
    shift
    if ! run_target "$name" "$@" >"$log" 2>&1; then
        for file in "$@"; do
            run_target "$name" "$file" >"$log.one" 2>&1 && continue
            failed=$((failed + 1))
            echo "FAILED in $name: $file"
            grep -E '^(==[0-9]+==ERROR|SUMMARY|.*runtime error)' "$log.one" | head -n 3 || true
        done >&2
        # What fails only after many files is named by the first of them.
        if [ "$failed" -eq 0 ]; then
            failed=1
            echo "FAILED in $name, after $# files: $1 (log: $log)" >&2
        fi
    fi
    echo "$# files replayed, $failed failing"
    [ "$failed" -eq 0 ]
}

fuzz() { # NAME SECONDS
    local name=$1 work=$out/work-$1 log=$out/$1.log status=0
    mkdir -p "fuzz/corpus/$name" "$work"
    echo "== $name: fuzzing for $2 s (log: $log)" >&2
    run_target "$name" -max_total_time="$2" -artifact_prefix="$PWD/fuzz/findings/$name-" \
        "$work" "fuzz/corpus/$name" "$out/seeds" >"$log" 2>&1 || status=$?
    [ "$status" -eq 0 ] || tail -n 40 "$log" >&2
    echo "$2 s of fuzzing, $(libfuzzer_figures "$log")$(sed -n \
        's/.*Test unit written to /, FINDING: /p' "$log")"
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
    run_target "$name" -merge=1 "$merged" "$corpus" "$out/seeds" "$out/work-$name" \
        >"$out/$name-merge.log" 2>&1 || { tail -n 40 "$out/$name-merge.log" >&2 && return 1; }
    rm -rf "$corpus"
    mv "$merged" "$corpus"
    echo "minimised: $(find "$corpus" -type f | wc -l) files in $corpus"
}

# Small pictures in every layout the loaders read, and the tests' hostile
# corpus.
PYTHONPATH=$PWD PYTHONDONTWRITEBYTECODE=1 python3 fuzz/seeds.py "$out/seeds"
status=0
for name in "${names[@]}"; do
    case $mode in
    fuzz) found=$(fuzz "$name" "$seconds" && minimise "$name") || status=1 ;;
    ci)
        found=$(replay "$name" "${files[@]}") || status=1
        found+=$'\n'$(fuzz "$name" "$seconds") || status=1
        ;;
    replay) found=$(replay "$name" "${files[@]}") || status=1 ;;
    esac
    stack=$(LD_LIBRARY_PATH=${folder[$name]} python3 -m pylib.sdl_stack)
    echo "Stack $stack [$name with ASan and UBSan]: ${found//$'\n'/; }"
done
exit $status
