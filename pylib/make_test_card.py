#!/usr/bin/env python3
"""Draws blitshow's test card and writes it as a 24-bit BMP.

Usage: python3 -m pylib.make_test_card OUTPUT.bmp

The card makes any fault in showing it plain to the eye: a white frame on
its outermost pixels shows clipping, a fine grid and a circle show a
stretch, and four different corner markers (red square top left, green
square top right, blue square bottom left, yellow disc bottom right) show a
shift or a flip. The colour bars and the grey ramp show a swap of channels.
"""
import sys
from pathlib import Path

from pylib import bmp

WIDTH, HEIGHT = 320, 240
BARS = [(255, 255, 255), (255, 255, 0), (0, 255, 255), (0, 255, 0),
        (255, 0, 255), (255, 0, 0), (0, 0, 255), (0, 0, 0)]
BAR_TOP, BAR_BOTTOM = 80, 140
RAMP_TOP, RAMP_BOTTOM = 150, 170
MARKER = 24  # side of a corner marker, inside the frame
RADIUS = 100


def card(x, y):
    """The colour of the card at (x, y), y = 0 being the top row."""
    right, bottom = WIDTH - 1, HEIGHT - 1
    if x in (0, right) or y in (0, bottom):
        return (255, 255, 255)
    # Corner markers sit one pixel inside the frame.
    mx = x - 1 if x <= MARKER else right - 1 - x if x >= right - MARKER else None
    my = y - 1 if y <= MARKER else bottom - 1 - y if y >= bottom - MARKER else None
    if mx is not None and my is not None:
        left, top = x <= MARKER, y <= MARKER
        if left and top:
            return (255, 0, 0)
        if top:
            return (0, 255, 0)
        if left:
            return (0, 0, 255)
        d = MARKER // 2
        if (mx - d) ** 2 + (my - d) ** 2 <= d * d:
            return (255, 255, 0)
    cx, cy = x - WIDTH // 2, y - HEIGHT // 2
    if (RADIUS - 1) ** 2 <= cx * cx + cy * cy <= (RADIUS + 1) ** 2:
        return (255, 255, 255)
    if BAR_TOP <= y < BAR_BOTTOM and 32 <= x < WIDTH - 32:
        return BARS[(x - 32) * len(BARS) // (WIDTH - 64)]
    if RAMP_TOP <= y < RAMP_BOTTOM and 32 <= x < WIDTH - 32:
        level = (x - 32) * 255 // (WIDTH - 65)
        return (level, level, level)
    if x % 20 == 0 or y % 20 == 0:
        return (96, 96, 96)
    return (32, 32, 48)


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: python3 -m pylib.make_test_card OUTPUT.bmp")
    Path(sys.argv[1]).write_bytes(bmp.encode(WIDTH, HEIGHT, card))


if __name__ == "__main__":
    main()
