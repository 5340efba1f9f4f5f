#!/bin/bash
# Runs delay_accuracy on each SDL stack this machine offers: the release's
# default, then its second if it has one (pylib/second-stack-folder.sh). The
# reports and raw rows go to BUILD/bench as delay_accuracy-default.* and -second.*; each
# report names its stack by its libraries' versions.
#
# Usage: delay-stacks.sh BUILD [DELAY_ACCURACY_OPTION...]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
shift
second=$("$top/pylib/second-stack-folder.sh")
# A desktop session's private runtime folder: SDL3 complains without one.
runtime=$(mktemp -d)
trap 'rm -rf "$runtime"' EXIT

# A release with one stack has no second run.
stacks=(default)
[ -z "$second" ] || stacks+=(second)
cd "$build/bench"
for stack in "${stacks[@]}"; do
    libraries=""
    [ "$stack" = default ] || libraries=$second
    LD_LIBRARY_PATH=$libraries XDG_RUNTIME_DIR=$runtime SDL_VIDEODRIVER=dummy \
        ./delay_accuracy --csv "delay_accuracy-$stack.csv" "$@" | tee "delay_accuracy-$stack.txt"
done
