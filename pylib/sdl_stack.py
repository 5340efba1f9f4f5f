#!/usr/bin/env python3
"""Names the SDL 1.2 stack that programs started from here would load, by its
libraries' versions: "SDL 1.2.15", "sdl12-compat 1.2.68 on SDL2 2.32.4",
"sdl12-compat 1.2.68 on sdl2-compat 2.32.54 on SDL3 3.2.10". It loads the
libraries as the programs would, so LD_LIBRARY_PATH counts.
"""
import ctypes
import os
import shutil
import sys

FIRST_COMPAT = (1, 2, 50)  # sdl12-compat numbers itself from 1.2.50 on


class Version(ctypes.Structure):
    _fields_ = [("major", ctypes.c_uint8), ("minor", ctypes.c_uint8), ("patch", ctypes.c_uint8)]


def _loaded(name):
    """The library if this process has it loaded already, else None."""
    try:
        return ctypes.CDLL(name, mode=os.RTLD_NOLOAD | os.RTLD_GLOBAL)
    except OSError:
        return None


def sdl12_version():
    """(major, minor, patch) of the SDL 1.2 library that loads."""
    sdl12 = ctypes.CDLL("libSDL-1.2.so.0")
    sdl12.SDL_Linked_Version.restype = ctypes.POINTER(Version)
    v = sdl12.SDL_Linked_Version().contents
    return (v.major, v.minor, v.patch)


def reads_2_bit_bmp():
    """SDL 1.2.15 refuses 2-bit palettes; the libraries under sdl12-compat read them."""
    return sdl12_version() >= FIRST_COMPAT


def words_a_short_bmp():
    """SDL3 3.2 fails on an empty or 1-byte BMP file without a word, where the
    other libraries say what is wrong; 3.4 names it again."""
    name, version = layers()[-1]
    return not (name == "SDL3" and version < (3, 4, 0))


def layers():
    """[(name, (major, minor, patch))] of each library, from SDL 1.2 down to
    the one that draws."""
    version = sdl12_version()
    if version < FIRST_COMPAT:
        return [("SDL", version)]
    # sdl12-compat has loaded SDL2 by now; through sdl2-compat, SDL2 is SDL3.
    found = [("sdl12-compat", version)]
    sdl2, sdl3 = _loaded("libSDL2-2.0.so.0"), _loaded("libSDL3.so.0")
    if sdl2 is not None:
        v = Version()
        sdl2.SDL_GetVersion(ctypes.byref(v))
        found.append(("sdl2-compat" if sdl3 is not None else "SDL2", (v.major, v.minor, v.patch)))
    if sdl3 is not None:
        n = sdl3.SDL_GetVersion()
        found.append(("SDL3", (n // 1000000, n // 1000 % 1000, n % 1000)))
    return found


def describe():
    return " on ".join(f"{name} {'.'.join(map(str, v))}" for name, v in layers())


def takes_part_in_pings():
    """SDL 1.2.15's window lists WM_DELETE_WINDOW alone in WM_PROTOCOLS; SDL2's
    and SDL3's list _NET_WM_PING, and answer a window manager's ping."""
    return sdl12_version() >= FIRST_COMPAT


def shows_on_wayland():
    """SDL 1.2.15 has no Wayland backend, and Debian 12's SDL2 2.26 crashes in
    its own Wayland start under a headless weston; the newer ones show there."""
    name, version = layers()[-1]
    return name == "SDL3" or (name == "SDL2" and version >= (2, 28, 0))


def sessions():
    """The desktop sessions to show the programs in here: X, and Wayland where
    the stack shows there and weston is installed."""
    return ["X"] + (["Wayland"] if shows_on_wayland() and shutil.which("weston") else [])


if __name__ == "__main__":
    try:
        print(describe())
    except OSError as e:
        sys.exit(f"No se puede cargar SDL 1.2: {e}")
