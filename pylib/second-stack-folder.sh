#!/bin/sh
# Prints the library folder to put in LD_LIBRARY_PATH for the second SDL 1.2
# stack this release offers beside its default (releases.txt), or nothing on
# a release with one stack. Its package installs it beside the default, so
# nothing changes for a program that is not pointed at it.
set -eu
pylib=$(dirname "$0")
package=$("$pylib/release.sh" second-package)
[ -n "$package" ] || exit 0
folder=/usr/lib/$(gcc -print-multiarch)/$("$pylib/release.sh" second-folder)
[ -d "$folder" ] || { echo "$package is not installed: ./user/install-deps.sh test" >&2; exit 1; }
echo "$folder"
