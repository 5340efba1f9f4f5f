#!/bin/sh
# Prints the library folder to put in LD_LIBRARY_PATH for the second SDL 1.2
# stack this release offers beside its default (releases.txt), or nothing on
# a release with one stack. Its package installs it beside the default, so
# nothing changes for a program that is not pointed at it. For programs
# cross-built for CROSS_ARCH, the target's folder follows the machine's: each
# loader skips the other's libraries.
set -eu
pylib=$(dirname "$0")
package=$("$pylib/release.sh" second-package)
[ -n "$package" ] || exit 0
name=$("$pylib/release.sh" second-folder)
folder=/usr/lib/$(python3 -c 'import sysconfig; print(sysconfig.get_config_var("MULTIARCH"))')/$name
[ -z "${CROSS_ARCH:-}" ] ||
    folder=$folder:/usr/lib/$(dpkg-architecture -a "$CROSS_ARCH" -q DEB_HOST_MULTIARCH 2>/dev/null)/$name
for each in $(echo "$folder" | tr : ' '); do
    [ -d "$each" ] || { echo "$package is not installed: ./user/install-deps.sh test" >&2; exit 1; }
done
echo "$folder"
