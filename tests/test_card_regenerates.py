"""The committed test card is exactly what its generator draws, and the
README's picture of the window shows it."""
import os
import subprocess
import sys
import tempfile
import unittest

from harness import TIMEOUT, main

from layouts import card_window_rows

from pylib.pngfile import read_png

TOP = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")


class TestCard(unittest.TestCase):
    def test_regenerates_byte_for_byte(self):
        with tempfile.TemporaryDirectory() as folder:
            drawn = os.path.join(folder, "ajuste.bmp")
            subprocess.run([sys.executable, "-m", "pylib.make_test_card",
                            drawn], check=True, timeout=TIMEOUT)
            with open(drawn, "rb") as new, \
                    open(os.path.join(TOP, "blitshow", "Imagenes", "ajuste.bmp"), "rb") as old:
                self.assertEqual(new.read(), old.read())

    def test_the_readme_shows_the_window(self):
        shown = read_png(os.path.join(TOP, "docs", "blitshow.png"))[2] == card_window_rows()
        self.assertTrue(shown, "docs/blitshow.png is not the window: `make screenshot`")


if __name__ == "__main__":
    main()
