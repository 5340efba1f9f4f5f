"""The committed test card is exactly what its generator draws."""
import os
import subprocess
import sys
import tempfile
import unittest

from harness import TIMEOUT, main

TOP = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")


class TestCard(unittest.TestCase):
    def test_regenerates_byte_for_byte(self):
        with tempfile.TemporaryDirectory() as folder:
            drawn = os.path.join(folder, "ajuste.bmp")
            subprocess.run([sys.executable, os.path.join(TOP, "tools", "make_test_card.py"),
                            drawn], check=True, timeout=TIMEOUT)
            with open(drawn, "rb") as new, \
                    open(os.path.join(TOP, "blitshow", "Imagenes", "ajuste.bmp"), "rb") as old:
                self.assertEqual(new.read(), old.read())


if __name__ == "__main__":
    main()
