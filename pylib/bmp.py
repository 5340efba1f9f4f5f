"""Encodes pictures as BMP files, in the layouts SDL 1.2's loader reads."""
import struct

BI_RGB = 0


def encode(width, height, pixel, bits=24, top_down=False, header=40, gap=0):
    """BMP bytes of a picture whose pixel(x, y) is (r, g, b), y = 0 the top row.

    bits is 1, 4 or 8 (a palette of the colours used), 16 (5-5-5), 24 or 32;
    header is the info header's size: 12 (OS/2 1.x), 40, 64 (OS/2 2.x), 108 (V4)
    or 124 (V5);
    gap puts that many bytes between the palette and the pixels.
    """
    rows = [[pixel(x, y) for x in range(width)] for y in range(height)]
    palette = sorted({c for row in rows for c in row}) if bits <= 8 else []
    assert len(palette) <= 1 << bits or bits > 8, "too many colours for the palette"
    index = {c: i for i, c in enumerate(palette)}
    stride = (width * bits + 31) // 32 * 4
    data = bytearray()
    for row in rows if top_down else reversed(rows):
        line = bytearray()
        if bits <= 8:
            acc = 0
            for x, colour in enumerate(row):
                acc = acc << bits | index[colour]
                if (x + 1) * bits % 8 == 0:
                    line.append(acc)
                    acc = 0
            if width * bits % 8:
                line.append(acc << (8 - width * bits % 8) & 0xFF)
        else:
            for r, g, b in row:
                if bits == 16:
                    line += struct.pack("<H", (r >> 3) << 10 | (g >> 3) << 5 | b >> 3)
                else:
                    line += bytes((b, g, r, 0)[: bits // 8])
        data += line.ljust(stride, b"\0")

    if header == 12:
        assert not top_down, "OS/2 headers hold no top-down rows"
        info = struct.pack("<IHHHH", 12, width, height, 1, bits)
        # An OS/2 header cannot say how many colours it has: all of them follow.
        palette += [(0, 0, 0)] * ((1 << bits) - len(palette) if bits <= 8 else 0)
        colours = b"".join(bytes((b, g, r)) for r, g, b in palette)
    else:
        info = struct.pack("<IiiHHIIiiII", header, width, -height if top_down else height, 1,
                           bits, BI_RGB, len(data), 2835, 2835, len(palette), 0)
        info = info.ljust(header, b"\0")
        colours = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    offset = 14 + len(info) + len(colours) + gap
    head = struct.pack("<2sIHHI", b"BM", offset + len(data), 0, 0, offset)
    return head + info + colours + b"\0" * gap + bytes(data)
