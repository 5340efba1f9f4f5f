#!/bin/bash
# Runs `make bench` on the stacks of another Debian release, in a pristine
# root of it (root-lib.sh). Every file its build/bench holds (reports, raw
# rows, plots) comes back to BUILD/bench/RELEASE.
#
# Usage: bench-release.sh RELEASE BUILD
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/roots/root-lib.sh"
release=$1
build=$(cd "$2" && pwd)
name=bench-$release
log=$ROOTS/$name.log
status=0
{ root_new "$name" "$release" &&
    root_run "$name" './user/install-deps.sh bench && make bench'; } >"$log" 2>&1 || status=$?
[ "$status" -ne 0 ] || root_fetch "$name" build/bench "$build/bench/$release" || status=$?
root_drop "$name"
record "$status" "$log" bench "$release"
exit "$status"
