"""Small pictures in every layout the stack in use reads, for the tests that
show them, and the window blitshow should show a picture in."""
from pylib import make_test_card as card
from pylib import sdl_stack, xdisplay

PICTURE_AT = 150  # where blitshow puts the picture's top-left corner, in x and in y


def expected_window(width, height, pixel):
    """The 640x480 window, black with the picture at (PICTURE_AT, PICTURE_AT)
    cut at its edges, as (r, g, b) tuples row by row."""
    at = PICTURE_AT
    return [pixel(x - at, y - at) if at <= x < at + width and at <= y < at + height
            else (0, 0, 0) for y in range(xdisplay.HEIGHT) for x in range(xdisplay.WIDTH)]


def card_window_rows():
    """The window with the test card, as rows of RGB bytes, as a screenshot reads."""
    window, width = expected_window(card.WIDTH, card.HEIGHT, card.card), xdisplay.WIDTH
    return [bytes(c for p in window[y:y + width] for c in p) for y in range(0, len(window), width)]


def rich(x, y):
    return ((x * 37 + y * 11) & 255, (x * 5 + y * 29) & 255, (x ^ y) * 3 & 255)


def few(x, y):  # at most 256 colours, for an 8-bit palette
    return ((x % 8) * 32, (y % 8) * 32, ((x + y) % 4) * 64)


def sixteen(x, y):
    return ((x % 4) * 80, (y % 4) * 80, 200)


def two(x, y):
    return (255, 255, 255) if (x + y) % 3 == 0 else (0, 0, 128)


def four(x, y):
    return ((x % 2) * 255, (y % 2) * 200, 90)


# what, width, height, pixel(x, y), encoding options
LAYOUTS = [
    ("24-bit, odd width", 37, 23, rich, {}),
    ("24-bit, top-down rows", 40, 30, rich, {"top_down": True}),
    ("32-bit", 33, 17, rich, {"bits": 32}),
    ("32-bit, top-down rows, V5 header", 21, 13, rich, {"bits": 32, "top_down": True,
                                                        "header": 124}),
    ("16-bit, odd width", 21, 13, rich, {"bits": 16}),
    ("8-bit palette, odd width", 35, 21, few, {"bits": 8}),
    ("8-bit palette, top-down rows", 35, 21, few, {"bits": 8, "top_down": True}),
    ("4-bit palette, odd width", 19, 11, sixteen, {"bits": 4}),
    ("1-bit palette, odd width", 13, 9, two, {"bits": 1}),
    ("OS/2 header, 24-bit", 21, 13, rich, {"header": 12}),
    ("OS/2 header, 8-bit palette", 21, 13, few, {"header": 12, "bits": 8}),
    ("OS/2 header, 1-bit palette", 21, 13, two, {"header": 12, "bits": 1}),
    ("OS/2 2.x header, 24-bit", 21, 13, rich, {"header": 64}),
    ("V4 header, 24-bit", 21, 13, rich, {"header": 108}),
    ("V5 header, 24-bit", 21, 13, rich, {"header": 124}),
    ("gap before the pixels, 24-bit", 21, 13, rich, {"gap": 10}),
    ("gap before the pixels, 8-bit palette", 21, 13, few, {"gap": 6, "bits": 8}),
    ("larger than the window", 600, 400, rich, {}),
]
# SDL 1.2.15 refuses 2-bit palettes (the console test checks that); the others show them.
if sdl_stack.reads_2_bit_bmp():
    LAYOUTS.append(("2-bit palette, odd width", 15, 9, four, {"bits": 2}))
