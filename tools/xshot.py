#!/usr/bin/env python3
"""Reads blitshow's 640x480 window back from the X server on $DISPLAY.

Usage: xshot.py OUTPUT.png   saves the window as a PNG file.
"""
import os
import re
import struct
import subprocess
import sys
import zlib

WIDTH, HEIGHT = 640, 480
# A line of `xwininfo -tree`: "... 640x480+0+0  +0+0", the last pair absolute.
GEOMETRY = re.compile(r"(\d+)x(\d+)[+-]-?\d+[+-]-?\d+\s+\+(-?\d+)\+(-?\d+)\s*$")


def window_position():
    """Absolute position of the first 640x480 window, or None if there is none."""
    tree = subprocess.run(["xwininfo", "-root", "-tree"], capture_output=True, text=True,
                          check=True, timeout=30).stdout
    for line in tree.splitlines():
        m = GEOMETRY.search(line)
        if m and (int(m[1]), int(m[2])) == (WIDTH, HEIGHT):
            return int(m[3]), int(m[4])
    return None


def grab():
    """The window's pixels as WIDTH*HEIGHT (r, g, b) tuples, row by row, or None."""
    where = window_position()
    if where is None:
        return None
    xwd = subprocess.run(["xwd", "-root", "-silent"], capture_output=True, check=True,
                         timeout=30).stdout
    (header_size, _, _, _, width, height, _, byte_order, _, _, _, bits, stride, _,
     red, green, blue, _, _, colours) = struct.unpack(">20I", xwd[:80])
    if bits not in (24, 32):
        raise RuntimeError(f"only 24 or 32 bits per pixel are read, not {bits}")
    size = bits // 8
    order = "little" if byte_order == 0 else "big"
    shifts = [(mask, (mask & -mask).bit_length() - 1) for mask in (red, green, blue)]
    data = xwd[header_size + 12 * colours:]
    x0, y0 = where
    assert x0 + WIDTH <= width and y0 + HEIGHT <= height
    # Where each channel is a whole byte of the pixel, it is read by slicing.
    whole = [size - 1 - shift // 8 if order == "big" else shift // 8
             for mask, shift in shifts if mask >> shift == 255 and shift % 8 == 0]
    pixels = []
    for y in range(y0, y0 + HEIGHT):
        row = data[y * stride + size * x0:y * stride + size * (x0 + WIDTH)]
        if len(whole) == 3:
            pixels += zip(*(row[at::size] for at in whole))
            continue
        for i in range(0, size * WIDTH, size):
            value = int.from_bytes(row[i:i + size], order)
            pixels.append(tuple((value & mask) >> shift for mask, shift in shifts))
    return pixels


def write_png(path, pixels, width=WIDTH, height=HEIGHT):
    raw = b"".join(b"\0" + bytes(c for p in pixels[y * width:(y + 1) * width] for c in p)
                   for y in range(height))

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(
            ">I", zlib.crc32(kind + body))

    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height,
                                                                    8, 2, 0, 0, 0))
                  + chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


def read_png(path):
    """(width, height, rows) of an 8-bit RGB or RGBA PNG file, each row as
    bytes of RGB."""
    with open(path, "rb") as given:
        data = given.read()
    at, chunks = 8, {}
    while at < len(data):
        (length,) = struct.unpack(">I", data[at:at + 4])
        kind = data[at + 4:at + 8]
        chunks[kind] = chunks.get(kind, b"") + data[at + 8:at + 8 + length]
        at += 12 + length
    width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", chunks[b"IHDR"])
    if depth != 8 or colour not in (2, 6) or interlace:
        raise RuntimeError(f"only 8-bit RGB or RGBA PNG files are read: {path}")
    size = 3 if colour == 2 else 4
    raw = zlib.decompress(chunks[b"IDAT"])
    stride = width * size
    rows, above = [], bytearray(stride)
    for y in range(height):
        kind, row = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):  # undo the row's filter
            left = row[i - size] if i >= size else 0
            up, corner = above[i], above[i - size] if i >= size else 0
            if kind == 1:
                row[i] = (row[i] + left) & 255
            elif kind == 2:
                row[i] = (row[i] + up) & 255
            elif kind == 3:
                row[i] = (row[i] + (left + up) // 2) & 255
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                row[i] = (row[i] + (left if pa <= pb and pa <= pc else up if pb <= pc
                                    else corner)) & 255
        above = row
        rows.append(bytes(row) if size == 3 else
                     bytes(b for i in range(0, stride, 4) for b in row[i:i + 3]))
    return width, height, rows


class Xvfb:
    """A private X server for the length of a with-block; gives its display."""

    def __enter__(self):
        read, write = os.pipe()
        # -noreset: a client connecting while the server resets after its last
        # client left would fail now and then.
        self.server = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write), "-screen", "0", "1024x768x24", "-noreset",
             "-nolisten", "tcp"], pass_fds=(write,), stderr=subprocess.DEVNULL)
        os.close(write)
        with os.fdopen(read) as numbers:
            number = numbers.readline().strip()
        if not number:
            self.server.kill()
            raise RuntimeError("Xvfb did not start")
        return ":" + number

    def __exit__(self, *_):
        self.server.terminate()
        self.server.wait(timeout=30)


def main():
    if len(sys.argv) != 2 or not os.environ.get("DISPLAY"):
        sys.exit("uso: xshot.py SALIDA.png (con DISPLAY puesto)")
    pixels = grab()
    if pixels is None:
        sys.exit("xshot: no hay ninguna ventana de 640x480 en " + os.environ["DISPLAY"])
    write_png(sys.argv[1], pixels)


if __name__ == "__main__":
    main()
