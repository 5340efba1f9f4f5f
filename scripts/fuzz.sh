#!/bin/bash
# Fuzzes blitshow's picture path (fuzz/picture_fuzzer.cpp) on SDL 1.2.15 and
# on SDL2 under Debian's sdl12-compat, both built with the sanitizers.
#   scripts/fuzz.sh BUILD SECONDS       fuzz each library, then minimise its
#                                       corpus in fuzz/corpus/
#   scripts/fuzz.sh --ci BUILD SECONDS  replay both corpora and every finding
#                                       on both, then fuzz each briefly
# Findings land in fuzz/findings/, where the hostile-picture test runs them.
set -euo pipefail
ci=false
if [ "${1:-}" = --ci ]; then
    ci=true
    shift
fi
build=$(mkdir -p "$1" && cd "$1" && pwd)
seconds=$2
cd "$(dirname "$0")/.."
out=$build/fuzz
mkdir -p "$out" fuzz/findings

libs=$(./scripts/build-fuzz-libs.sh "$build")
sdl12=${libs%%$'\n'*}
sdl2=${libs#*$'\n'}
compat=$(./scripts/fetch-compat.sh "$build")

# The target, with blitshow.cpp itself for the header check (main renamed),
# linked against the instrumented SDL 1.2; sdl12-compat takes its place by
# LD_LIBRARY_PATH.
flags=(-g -O1 "-fsanitize=fuzzer,address,undefined" -fno-sanitize-recover=all
    -fno-omit-frame-pointer)
read -ra sdl_flags < <(PKG_CONFIG_PATH="$sdl12/pkgconfig" pkg-config --cflags sdl)
for source in blitshow/blitshow.cpp fuzz/picture_fuzzer.cpp; do
    clang++ -std=c++17 -Wall -Wextra -Wpedantic "${flags[@]}" "${sdl_flags[@]}" \
        -Iblitshow -Dmain=blitshow_main -c "$source" -o "$out/$(basename "$source" .cpp).o"
done
clang++ "${flags[@]}" "$out/blitshow.o" "$out/picture_fuzzer.o" -L"$sdl12" -lSDL \
    -o "$out/picture_fuzzer"

PYTHONPATH=tools:tests PYTHONDONTWRITEBYTECODE=1 python3 fuzz/seeds.py "$out/seeds"

# Library UB halts the run unless fuzz/ubsan.supp records it as the library's.
export ASAN_OPTIONS=detect_leaks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1:suppressions=$PWD/fuzz/ubsan.supp
# No single allocation over 100 MiB: a picture within the fuzzer's length
# never needs one.
options=(-rss_limit_mb=2048 -malloc_limit_mb=100 -timeout=10 -max_len=16384
    -print_final_stats=1)

status=0
fuzz() { # name, library path
    local name=$1 path=$2
    local corpus=fuzz/corpus/$name work=$out/work-$name log=$out/$name.log
    mkdir -p "$corpus" "$work"
    export LD_LIBRARY_PATH=$path
    if $ci; then
        echo "== $name: se repiten los corpus y cada hallazgo"
        find fuzz/corpus fuzz/findings -type f -print0 |
            xargs -0 -r "$out/picture_fuzzer" "${options[@]}" >"$out/$name-replay.log" 2>&1 ||
            { tail -n 40 "$out/$name-replay.log"; return 1; }
        echo "   $(grep -c '^Executed' "$out/$name-replay.log") ficheros, ninguno falla"
    fi
    echo "== $name: fuzzing durante $seconds s (registro: $log)"
    "$out/picture_fuzzer" "${options[@]}" -max_total_time="$seconds" \
        -artifact_prefix="$PWD/fuzz/findings/$name-" "$work" "$corpus" "$out/seeds" \
        >"$log" 2>&1 || { tail -n 40 "$log"; return 1; }
    grep -E '^(Done|stat::number_of_executed_units|#[0-9]+[[:space:]]+DONE)' "$log" || true
    if ! $ci; then
        rm -rf "$out/merged-$name"
        mkdir -p "$out/merged-$name"
        "$out/picture_fuzzer" "${options[@]}" -merge=1 "$out/merged-$name" "$corpus" \
            "$out/seeds" "$work" >"$out/$name-merge.log" 2>&1 ||
            { tail -n 40 "$out/$name-merge.log"; return 1; }
        rm -rf "$corpus"
        mv "$out/merged-$name" "$corpus"
        echo "   corpus: $(find "$corpus" -type f | wc -l) ficheros en $corpus"
    fi
}
# FUZZ_LIBRARIES picks one of them.
for name in ${FUZZ_LIBRARIES:-sdl1.2 sdl2}; do
    case $name in
    sdl1.2) fuzz sdl1.2 "$sdl12" || status=1 ;;
    sdl2) fuzz sdl2 "$compat:$sdl2" || status=1 ;;
    *) echo "FUZZ_LIBRARIES: sdl1.2, sdl2 o ambas" >&2 && exit 1 ;;
    esac
done
exit $status
