#!/bin/sh
# Builds SDL libraries from Debian's own source packages, at the versions
# installed here, with AddressSanitizer, UBSan and libFuzzer's coverage, into
# BUILD/fuzz/libs. Only what the fuzz target needs: the dummy video driver,
# no audio, no X11. Each library is built once and reused while its source
# version stays. Prints the library's folder.
#
# Usage: build-fuzz-libs.sh BUILD NAME SOURCE BINARY
#   NAME (sdl1.x, sdl2.x, sdl3.x) from source package SOURCE, at the version
#   of BINARY installed here (releases.txt names them)
set -eu
roots=$(cd "$(dirname "$0")/../roots" && pwd)
build=$(mkdir -p "$1" && cd "$1" && pwd)
shift
dest="$build/fuzz/libs"
apt="$dest/apt"
mkdir -p "$dest/src" "$apt/lists/partial"

# Line tables name a finding's frames; full debug information would take
# longer to build, on every CI run.
FLAGS="-O1 -gline-tables-only -fsanitize=address,undefined,fuzzer-no-link -fno-omit-frame-pointer"

# The version installed here, so that the fuzzed code is the code users run.
version() {
    dpkg-query -W -f='${source:Version}' "$1"
}

# A deb-src list of our own, from the archives this machine already uses:
# the system's apt configuration and package lists stay as they are.
private_sources() {
    "$roots/apt-sources.sh" | sed 's/^deb /deb-src /'
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

build_sdl1() { # SOURCE PREFIX
    mkdir -p "$dest/build-sdl1"
    (cd "$dest/build-sdl1" &&
        CC=clang CFLAGS="$FLAGS" "$1/configure" --prefix="$2" \
            --disable-static --disable-audio --disable-cdrom --disable-joystick \
            --disable-video-x11 --disable-video-fbcon --disable-video-directfb \
            --disable-video-caca --disable-video-aalib --disable-video-opengl \
            --disable-video-ggi --disable-video-svga --disable-esd --disable-pulseaudio \
            --disable-arts --disable-nas --disable-alsa --disable-oss --enable-video-dummy \
            >&2 &&
        make -j2 >&2 && make install >&2)
}

# SDL2 and SDL3 name most of their switches alike. The sanitizers' runtime
# comes with the fuzzer, so each is told not to link with --no-undefined.
cmake_build() { # NAME SOURCE PREFIX OPTION...
    name=$1 source=$2 prefix=$3
    shift 3
    cmake -S "$source" -B "$dest/build-$name" -DCMAKE_BUILD_TYPE=None \
        -DCMAKE_C_COMPILER=clang -DCMAKE_C_FLAGS="$FLAGS" \
        -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_INSTALL_LIBDIR=lib \
        -DSDL_STATIC=OFF -DSDL_AUDIO=OFF -DSDL_X11=OFF -DSDL_WAYLAND=OFF \
        -DSDL_KMSDRM=OFF -DSDL_OPENGL=OFF -DSDL_OPENGLES=OFF -DSDL_VULKAN=OFF \
        -DSDL_SENSOR=OFF -DSDL_DBUS=OFF -DSDL_IBUS=OFF -DSDL_LIBUDEV=OFF -DSDL_DUMMYVIDEO=ON \
        "$@" >&2
    cmake --build "$dest/build-$name" -j2 >&2
    cmake --install "$dest/build-$name" >&2
}

build_sdl2() { # SOURCE PREFIX
    cmake_build sdl2 "$1" "$2" -DSDL_TEST=OFF -DSDL_JOYSTICK=OFF -DSDL_HAPTIC=OFF \
        -DSDL_HIDAPI=OFF -DHAVE_NO_UNDEFINED=OFF
}

# With no X11 and no Wayland, SDL3 wants to be told it is meant for a
# console. Its joysticks stay: SDL3 3.2 without them still refers to its
# virtual joystick, and would not load.
build_sdl3() { # SOURCE PREFIX
    cmake_build sdl3 "$1" "$2" -DSDL_TESTS=OFF -DSDL_TEST_LIBRARY=OFF -DSDL_CAMERA=OFF \
        -DSDL_GPU=OFF -DSDL_UNIX_CONSOLE_BUILD=ON -DLINKER_SUPPORTS_WL_NO_UNDEFINED=OFF
}

[ $# -eq 3 ] || { echo "usage: build-fuzz-libs.sh BUILD NAME SOURCE BINARY" >&2; exit 1; }
# The library's major version picks how it is built.
family=${1%.*}
case $family in
sdl1 | sdl2 | sdl3) ;;
*) echo "build-fuzz-libs.sh: unknown library: $1" >&2 && exit 1 ;;
esac

# Built unless the one built from that very source is there.
prefix="$dest/$family"
wanted=$(version "$3")
if [ "$(cat "$prefix/version" 2>/dev/null)" != "$wanted" ]; then
    unpack "$2" "$wanted"
    rm -rf "$prefix" "$dest/build-$family"
    "build_$family" "$dest/src/$2" "$prefix"
    echo "$wanted" >"$prefix/version"
fi
echo "$prefix/lib"
