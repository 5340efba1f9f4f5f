#!/bin/sh
# Builds SDL 1.2.15 and SDL2 from Debian's own source packages, with
# AddressSanitizer, UBSan and libFuzzer's coverage, into BUILD/fuzz/libs.
# Only what the fuzz target needs: the dummy video driver, no audio, no X11.
# Each library is built once and reused while its source version stays.
# Prints the two library folders, SDL 1.2's first.
set -eu
scripts=$(cd "$(dirname "$0")" && pwd)
build=$(mkdir -p "${1:-build}" && cd "${1:-build}" && pwd)
dest="$build/fuzz/libs"
apt="$dest/apt"
mkdir -p "$dest/src" "$apt/lists/partial"

FLAGS="-O1 -g -fsanitize=address,undefined,fuzzer-no-link -fno-omit-frame-pointer"

# The versions installed here, so that the fuzzed code is the code users run.
version() { dpkg-query -W -f='${source:Version}' "$1"; }
sdl12_version=$(version libsdl1.2debian)
sdl2_version=$(version libsdl2-2.0-0)

# A deb-src list of our own, from the archives this machine already uses:
# the system's apt configuration and package lists stay as they are.
private_sources() {
    "$scripts/apt-sources.sh" | sed 's/^deb /deb-src /'
}

apt_private() {
    # As root, apt downloads as the _apt user, who can't write our folder.
    apt-get -o Dir::Etc::SourceList="$apt/sources.list" -o Dir::Etc::SourceParts=- \
        -o Dir::State::Lists="$apt/lists" -o Dir::Cache::pkgcache= \
        -o Dir::Cache::srcpkgcache= -o APT::Sandbox::User="$(id -un)" "$@"
}

# Unpacks (with Debian's patches) source package $1 at version $2 into
# src/$1, fetching the package lists only when they don't have it yet.
unpack() {
    stamp="$dest/src/$1.version"
    if [ "$(cat "$stamp" 2>/dev/null)" = "$2" ]; then
        return
    fi
    private_sources >"$apt/sources.list"
    rm -rf "$dest/src/$1" "$dest/src/$1-"*
    (cd "$dest/src" &&
        { apt_private -q source --only-source "$1=$2" >&2 2>/dev/null ||
            { apt_private -q update >&2 && apt_private -q source --only-source "$1=$2" >&2; }; } &&
        mv "$1"-*/ "$1")
    echo "$2" >"$stamp"
}

# Builds a library unless the one built from this very source is there.
built() {
    [ "$(cat "$dest/$1/version" 2>/dev/null)" = "$2" ]
}

if ! built sdl1.2 "$sdl12_version"; then
    unpack libsdl1.2 "$sdl12_version"
    rm -rf "$dest/sdl1.2" "$dest/build-sdl1.2"
    mkdir -p "$dest/build-sdl1.2"
    (cd "$dest/build-sdl1.2" &&
        CC=clang CFLAGS="$FLAGS" "$dest/src/libsdl1.2/configure" --prefix="$dest/sdl1.2" \
            --disable-static --disable-audio --disable-cdrom --disable-joystick \
            --disable-video-x11 --disable-video-fbcon --disable-video-directfb \
            --disable-video-caca --disable-video-aalib --disable-video-opengl \
            --disable-video-ggi --disable-video-svga --disable-esd --disable-pulseaudio \
            --disable-arts --disable-nas --disable-alsa --disable-oss --enable-video-dummy \
            >&2 &&
        make -j2 >&2 && make install >&2)
    echo "$sdl12_version" >"$dest/sdl1.2/version"
fi

if ! built sdl2 "$sdl2_version"; then
    unpack libsdl2 "$sdl2_version"
    rm -rf "$dest/sdl2" "$dest/build-sdl2"
    # The sanitizers' runtime comes with the fuzzer: no --no-undefined.
    cmake -S "$dest/src/libsdl2" -B "$dest/build-sdl2" -DCMAKE_BUILD_TYPE=None \
        -DCMAKE_C_COMPILER=clang -DCMAKE_C_FLAGS="$FLAGS" \
        -DCMAKE_INSTALL_PREFIX="$dest/sdl2" -DCMAKE_INSTALL_LIBDIR=lib \
        -DSDL_STATIC=OFF -DSDL_TEST=OFF -DSDL_AUDIO=OFF -DSDL_X11=OFF -DSDL_WAYLAND=OFF \
        -DSDL_KMSDRM=OFF -DSDL_OPENGL=OFF -DSDL_OPENGLES=OFF -DSDL_VULKAN=OFF \
        -DSDL_JOYSTICK=OFF -DSDL_HAPTIC=OFF -DSDL_HIDAPI=OFF -DSDL_SENSOR=OFF \
        -DSDL_DBUS=OFF -DSDL_IBUS=OFF -DSDL_LIBUDEV=OFF -DSDL_DUMMYVIDEO=ON \
        -DHAVE_NO_UNDEFINED=OFF >&2
    cmake --build "$dest/build-sdl2" -j2 >&2
    cmake --install "$dest/build-sdl2" >&2
    echo "$sdl2_version" >"$dest/sdl2/version"
fi

echo "$dest/sdl1.2/lib"
echo "$dest/sdl2/lib"
