"""Writes the fuzzer's seeds into a folder: small pictures in every layout
the loaders read, and the hostile corpus of the tests."""
import os
import sys

from pylib import bmp
from pylib.hostile_bmps import corpus


def colour(x, y):
    return ((x * 40) & 255, (y * 60) & 255, (x + y) * 20 & 255)


def few(x, y):  # two colours: fits every palette
    return (255, 255, 255) if (x + y) % 2 else (0, 0, 128)


def seeds():
    """(name, bytes) of every seed."""
    for bits in (1, 2, 4, 8, 16, 24, 32):
        pixel = few if bits <= 8 else colour
        for header in (12, 40, 64, 108, 124):
            if header == 12 and bits in (2, 16, 32):
                continue  # no such OS/2 layout
            yield f"{bits}-bit, header {header}", bmp.encode(5, 3, pixel, bits, header=header)
            if header != 12:
                yield (f"{bits}-bit, header {header}, top-down, gap",
                       bmp.encode(6, 4, pixel, bits, top_down=True, header=header, gap=3))
    yield from corpus()


if __name__ == "__main__":
    os.makedirs(sys.argv[1], exist_ok=True)
    for i, (_, data) in enumerate(seeds()):
        with open(os.path.join(sys.argv[1], f"seed-{i:03d}.bmp"), "wb") as out:
            out.write(data)
