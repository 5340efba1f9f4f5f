"""A corpus of malformed BMP files, made here from valid ones, and the
fuzzer's findings."""
import glob
import os
import struct

from pylib import bmp

# Offset and struct format of each header field of a Windows BMP.
FIELDS = {"offset": (10, "<I"), "info": (14, "<I"), "width": (18, "<i"), "height": (22, "<i"),
          "bits": (28, "<H"), "compression": (30, "<I"), "colours": (46, "<I")}


def patch(data, **fields):
    data = bytearray(data)
    for name, value in fields.items():
        at, form = FIELDS[name]
        struct.pack_into(form, data, at, value)
    return bytes(data)


def rle(width, height, bits, body):
    """A run-length encoded picture: headers, a 16-colour palette, then body."""
    palette = b"".join(bytes((i * 16, 255 - i * 16, i * 8, 0)) for i in range(16))
    offset = 14 + 40 + len(palette)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 1 if bits == 8 else 2,
                       len(body), 0, 0, 16, 0)
    return struct.pack("<2sIHHI", b"BM", offset + len(body), 0, 0, offset) + info + palette + body


def claim(width, height, bits, compression=1):
    """Headers alone (56 bytes with their end-of-picture code) claiming a
    compressed picture."""
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, compression, 2, 0, 0, 0, 0)
    return struct.pack("<2sIHHI", b"BM", 56, 0, 0, 54) + info + b"\x00\x01"


FINDINGS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "fuzz", "findings")


def corpus():
    """(name, bytes) of every hostile file."""
    def colour(x, y):
        return ((x * 40) & 255, (y * 60) & 255, 128)

    full = bmp.encode(7, 5, colour)
    paletted = bmp.encode(7, 5, colour, bits=8)
    os2 = bmp.encode(7, 5, colour, header=12)
    cases = []
    for name, data, cuts in [("24-bit", full, [0, 1, 2, 6, 10, 14, 16, 18, 22, 28, 40, 53, 54,
                                                55, 80, len(full) - 1]),
                             ("8-bit", paletted, [30, 53, 54, 56, 100, 150, 200,
                                                  len(paletted) - 1]),
                             ("OS/2", os2, [16, 20, 25, 26, 27, 40, len(os2) - 1])]:
        cases += [(f"{name} cut at {cut} of {len(data)}", data[:cut]) for cut in cuts]
    cases += [
        ("magic BA", b"BA" + full[2:]),
        ("magic MB", b"MB" + full[2:]),
        ("magic alone", b"BM"),
    ]
    cases += [(f"header size {size}", patch(full, info=size))
              for size in (0, 4, 11, 13, 16, 39, 41, 64, 1000, 0xFFFFFFFF)]
    cases += [(f"{w}x{h} pixels", patch(full, width=w, height=h))
              for w, h in [(0, 5), (7, 0), (0, 0), (-7, 5), (7, -2**31), (-2**31, 5),
                           (65535, 65535), (2**31 - 1, 1), (1, 2**31 - 1), (100000, 1),
                           (1, 100000), (20000, 20000), (8193, 1), (1, 8193)]]
    cases += [(f"{bits} bits per pixel", patch(full, bits=bits))
              for bits in (0, 2, 3, 7, 15, 31, 64, 257, 2049, 2052, 14337, 65304, 65535)]
    cases += [(f"{n} palette colours", patch(paletted, colours=n))
              for n in (257, 1000, 65536, 0xFFFFFFFF)]
    cases += [(f"pixel offset {offset}", patch(full, offset=offset))
              for offset in (0, 13, len(full) - 10, len(full), len(full) + 100, 0xFFFFFFFF)]
    cases += [(f"compression {c}", patch(full, compression=c)) for c in (3, 4, 5, 6, 99)]
    cases += [
        ("RLE8 run past the row", rle(4, 2, 8, b"\x10\x01\x00\x00\x04\x02\x00\x01")),
        ("RLE8 delta past the end", rle(4, 2, 8, b"\x00\x02\x7f\x7f\x02\x03\x00\x01")),
        ("RLE8 literal past the file", rle(4, 2, 8, b"\x00\xff\x01\x02")),
        ("RLE8 with no end", rle(4, 2, 8, b"\x02\x05")),
        ("RLE8 rows past the top", rle(4, 2, 8, b"\x04\x01\x00\x00" * 8 + b"\x00\x01")),
        ("RLE4 run past the row", rle(4, 2, 4, b"\x40\x12\x00\x00\x10\x34\x00\x01")),
        ("RLE4 literal past the file", rle(4, 2, 4, b"\x00\xfe\x12")),
        ("RLE8 claiming 65535x65535", rle(65535, 65535, 8, b"\x00\x01")),
        ("RLE4 claiming 8192x8192", rle(8192, 8192, 4, b"\x00\x01")),
        ("RLE as 24 bits", patch(full, compression=1)),
        ("RLE8 claiming 8192x8192", rle(8192, 8192, 8, b"\x00\x01")),
        ("RLE4 claiming 4097x1", rle(4097, 1, 4, b"\x00\x01")),
    ]
    cases += [(f"RLE{rle_bits} claiming 8192x8192 at {bits} bits", claim(8192, 8192, bits, c))
              for bits in (32, 24, 16, 8) for rle_bits, c in ((8, 1), (4, 2))]
    for path in sorted(glob.glob(os.path.join(FINDINGS, "*"))):
        with open(path, "rb") as finding:
            cases.append((f"fuzz finding {os.path.basename(path)}", finding.read()))
    return cases


# Headers of giant files that are mostly a hole: the size must not wrap.
GIANT_SIZES = {"2 GiB + 1 byte": 2**31 + 1, "3 GiB": 3 * 2**30, "4 GiB + 1 byte": 2**32 + 1}


def giants():
    """(name, header bytes, file size) of each giant."""
    full = bmp.encode(7, 5, lambda x, y: (x, y, 0))
    headers = [("bit count 2049", patch(full, bits=2049)),
               ("bit count 14337", patch(full, bits=14337)),
               ("16383x43690 at 24 bits", patch(full, width=16383, height=43690)),
               ("16383x65535 at 32 bits", patch(full, width=16383, height=65535, bits=32))]
    return [(f"{what}, {size_name}", header, size)
            for what, header in headers for size_name, size in GIANT_SIZES.items()]

