"""What blitshow's real window shows, read back from a private Xvfb server."""
import os
import sys
import time
import unittest

from harness import main, program, scratch_folder, sdl_env, while_waiting

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tools"))
import bmp  # noqa: E402
import make_test_card  # noqa: E402
import xshot  # noqa: E402

AT = 150  # where the picture's top-left corner must land, in x and in y
BLACK = (0, 0, 0)


def rich(x, y):
    return ((x * 37 + y * 11) & 255, (x * 5 + y * 29) & 255, (x ^ y) * 3 & 255)


def few(x, y):  # at most 256 colours, for a palette
    return ((x % 8) * 32, (y % 8) * 32, ((x + y) % 4) * 64)


# what, width, height, pixel(x, y), encoding options
LAYOUTS = [
    ("24-bit, odd width", 37, 23, rich, {}),
    ("24-bit, top-down rows", 40, 30, rich, {"top_down": True}),
    ("32-bit", 33, 17, rich, {"bits": 32}),
    ("8-bit palette, odd width", 35, 21, few, {"bits": 8}),
    ("larger than the window", 600, 400, rich, {}),
]


def expected_window(width, height, pixel):
    """The 640x480 window with the picture at (AT, AT), cut at the window's edges."""
    return [pixel(x - AT, y - AT) if AT <= x < AT + width and AT <= y < AT + height else BLACK
            for y in range(xshot.HEIGHT) for x in range(xshot.WIDTH)]


def differences(got, want):
    wrong = [(i % xshot.WIDTH, i // xshot.WIDTH, g, w)
             for i, (g, w) in enumerate(zip(got, want)) if g != w]
    return f"{len(wrong)} pixels differ, first (x, y, got, want): {wrong[:4]}" if wrong else ""


class BlitshowWindow(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.xvfb = xshot.Xvfb()
        os.environ["DISPLAY"] = cls.xvfb.__enter__()

    @classmethod
    def tearDownClass(cls):
        cls.xvfb.__exit__()

    def check_shows(self, want, cwd):
        """Runs blitshow in cwd and compares its window with want while it waits."""
        def grab_until_shown():
            deadline = time.monotonic() + 20
            while True:
                got = xshot.grab()
                if got == want or time.monotonic() > deadline:
                    return got

        env = sdl_env(DISPLAY=os.environ["DISPLAY"])
        del env["SDL_VIDEODRIVER"]
        prompt, got, r = while_waiting([program("blitshow")], grab_until_shown, cwd=cwd, env=env)
        self.assertEqual((prompt, r.returncode, r.stderr), (b"Pulse ENTER para continuar... \n",
                                                            0, b""))
        self.assertIsNotNone(got, "no 640x480 window")
        self.assertEqual(differences(got, want), "")

    def test_the_test_card(self):
        card = make_test_card
        self.check_shows(expected_window(card.WIDTH, card.HEIGHT, card.card),
                         os.path.dirname(program("blitshow")))

    def test_layouts(self):
        for what, width, height, pixel, options in LAYOUTS:
            with self.subTest(what), scratch_folder(bmp.encode(width, height, pixel,
                                                               **options)) as cwd:
                self.check_shows(expected_window(width, height, pixel), cwd)


if __name__ == "__main__":
    main()
