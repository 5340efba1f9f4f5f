#!/bin/bash
# Runs delay_stacks.sh on the stacks of another Debian release, in a pristine
# minbase root of it under BUILD/roots, from a clean clone of this
# repository's last commit. The reports come back to BUILD/bench/RELEASE.
#
# Usage: delay_in_root.sh RELEASE BUILD [DELAY_ACCURACY_OPTION...]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
release=$1
build=$(cd "$2" && pwd)
shift 2
root="$build/roots/$release"
"$top/scripts/debian-root.sh" "$release" "$root"
git clone -q "$top" "$root/root/demos"
"$top/scripts/in-root.sh" "$root" /bin/bash -c \
    'cd /root/demos && ./scripts/install-deps.sh bench >&2 && make build >&2 &&
     bench/delay_stacks.sh build "$@"' delay_in_root "$@"
mkdir -p "$build/bench/$release"
cp "$root"/root/demos/build/bench/delay_accuracy-* "$build/bench/$release/"
