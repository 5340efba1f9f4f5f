#!/bin/bash
# Replays pictures under valgrind memcheck on the SDL 1.2 stack of the Debian
# release it runs on, as users install it. fuzz/fuzz.sh runs it where
# releases.txt says "valgrind": a library that can't be built here with the
# sanitizers (Debian 14's SDL3 3.4: its source files are not in the archive).
# - Every file goes through the fuzz target built without the sanitizers
#   (fuzz/picture_fuzzer.cpp: blitshow's own header check from
#   blitshow.cpp, SDL's loader, the blit onto the 640x480 screen), many
#   files to one valgrind process: valgrind takes 2 s to start blitshow on
#   SDL3, too long to pay once per file of the corpora.
# - The files given after --blitshow also go through the real blitshow, one
#   run each, as Imagenes/ajuste.bmp.
# A file fails on any memory error or definite leak; through blitshow, also
# if it ends otherwise than showing the picture (0) or refusing it with the
# load message (1). Prints one line: the stack, the files, the failures
# ("Stack ...", each failing file's line "FAILED ...": lines fuzz/fuzz.sh reads).
#
# Usage: memcheck-replay.sh BUILD FILE-OR-FOLDER... [--blitshow FILE-OR-FOLDER...]
#        MEMCHECK_JOBS: valgrind processes at once (default: 2)
set -euo pipefail
self=$(cd "$(dirname "$0")" && pwd)/$(basename "$0")
# The script runs itself for each share of the work: --target FILE... or
# --program FILE.
task=""
case ${1:-} in --target | --program) task=${1#--} && shift ;; esac
build=$(mkdir -p "$1" && cd "$1" && pwd)
shift
cd "$(dirname "$0")/.."

out=$build/fuzz
command=$(python3 -m pylib.valgrind)
mapfile -t VALGRIND <<<"$command"
# The target picks SDL's dummy driver itself.
TARGET=("${VALGRIND[@]}" "$out/memcheck-target/fuzz/picture_fuzzer" -rss_limit_mb=0)

# blitshow as users build it, and the fuzz target with clang, unsanitized, its
# debugging information in DWARF 4, which Debian 12's valgrind 3.19 reads.
build_programs() {
    mkdir -p "$out"
    {
        cmake -S . -B "$out/memcheck-blitshow" -DBUILD_TESTING=OFF &&
            cmake --build "$out/memcheck-blitshow" -j2 --target blitshow &&
            cmake -S . -B "$out/memcheck-target" -DBUILD_FUZZER=ON -DBUILD_TESTING=OFF \
                -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_CXX_FLAGS=-gdwarf-4 &&
            cmake --build "$out/memcheck-target" -j2 --target picture_fuzzer
    } >"$out/memcheck-build.log" 2>&1 || { tail -n 30 "$out/memcheck-build.log" >&2 && exit 1; }
}

# Files through the target in one process; if that fails, each alone, to
# name every one that does.
target_share() { # FILE...
    local log one file named=0
    log=$(mktemp)
    one=$(mktemp)
    if ! "${TARGET[@]}" "$@" >"$log" 2>&1; then
        for file in "$@"; do
            "${TARGET[@]}" "$file" >"$one" 2>&1 && continue
            named=$((named + 1))
            echo "FAILED (picture_fuzzer): $file"
            grep '^==' "$one" | head -n 20
        done
        # What fails only after many files is named by the first of them.
        if [ "$named" -eq 0 ]; then
            echo "FAILED (picture_fuzzer, after $# files): $1"
            grep '^==' "$log" | head -n 20
        fi
    fi
    rm -f "$log" "$one"
}

# One picture, as Imagenes/ajuste.bmp in a scratch folder, on the dummy
# driver, with a runtime folder of its own as a session has (0700).
program_run() { # FILE
    local scratch status=0
    scratch=$(mktemp -d)
    mkdir "$scratch/Imagenes" "$scratch/run"
    chmod 700 "$scratch/run"
    cp "$1" "$scratch/Imagenes/ajuste.bmp"
    (cd "$scratch" && echo | SDL_VIDEODRIVER=dummy XDG_RUNTIME_DIR="$scratch/run" "${VALGRIND[@]}" \
        "$out/memcheck-blitshow/blitshow/blitshow" >/dev/null 2>"$scratch/stderr") || status=$?
    if [ "$status" -gt 1 ] ||
        { [ "$status" -eq 1 ] && ! grep -q '^No se puede cargar la imagen: ' "$scratch/stderr"; }; then
        echo "FAILED (blitshow, status $status): $1"
        head -n 20 "$scratch/stderr"
    fi
    rm -rf "$scratch"
}

case $task in
target) target_share "$@" && exit ;;
program) program_run "$1" && exit ;;
esac

# The files before --blitshow, and those after it.
all=()
program=()
while [ $# -gt 0 ] && [ "$1" != --blitshow ]; do
    all+=("$1")
    shift
done
[ $# -eq 0 ] || { shift && program=("$@") && all+=("$@"); }
files() { # FILE-OR-FOLDER...
    [ $# -eq 0 ] || find "$@" -type f -print0 | sort -zu
}

build_programs
total=$(files "${all[@]}" | tr -cd '\0' | wc -c)
jobs=${MEMCHECK_JOBS:-2}
report=$(mktemp)
{
    files "${all[@]}" | xargs -0 -r -n $(((total + jobs - 1) / jobs)) -P "$jobs" \
        "$self" --target "$build"
    files "${program[@]}" | xargs -0 -r -n 1 -P "$jobs" "$self" --program "$build"
} >"$report"
cat "$report"
# Each failing file is named once, whichever way it failed.
failures=$(sed -n 's/^FAILED ([^)]*): //p' "$report" | sort -u | wc -l)
rm -f "$report"
echo "Stack $(python3 -m pylib.sdl_stack) [valgrind]: $total files replayed," \
    "$(files "${program[@]}" | tr -cd '\0' | wc -c) through blitshow too, $failures failing"
[ "$failures" -eq 0 ]
