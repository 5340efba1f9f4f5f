"""Reads and writes 8-bit RGB PNG files, with the standard library alone."""
import struct
import zlib


def write_png(path, pixels, width, height):
    """Writes width*height (r, g, b) tuples, row by row, as an RGB PNG file."""
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
