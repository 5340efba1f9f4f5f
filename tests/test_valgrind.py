"""Both programs under valgrind memcheck, on SDL's dummy video driver."""
import os
import unittest

from harness import EMULATOR, main, program, run, scratch_folder
from layouts import LAYOUTS

from pylib import bmp, valgrind
from pylib.hostile_bmps import corpus


# valgrind runs programs of its own architecture only: under qemu-user it would
# check qemu, not the program.
@unittest.skipIf(EMULATOR, "valgrind does not run a cross-built program")
class Valgrind(unittest.TestCase):
    def test_runs_are_clean(self):
        with open(os.path.join(os.path.dirname(program("blitshow")), "Imagenes", "ajuste.bmp"),
                  "rb") as shipped:
            card = shipped.read()
        cases = [
            # what, program, picture, stdin, status
            ("delay_test, a wait", "delay_test", None, b"3\n", {0}),
            ("delay_test, a refused entry", "delay_test", None, b"3 ms\n", {1}),
            ("blitshow, no picture", "blitshow", None, b"\n", {1}),
            ("blitshow, the test card", "blitshow", card, b"\n", {0}),
        ] + [(f"blitshow shows {what}", "blitshow", bmp.encode(width, height, pixel, **options),
              b"\n", {0}) for what, width, height, pixel, options in LAYOUTS] + [
            (f"blitshow, {name}", "blitshow", picture, b"\n", {0, 1})
            for name, picture in corpus()[::6]]  # a sample of every kind
        for what, name, picture, stdin, status in cases:
            with self.subTest(what), scratch_folder(picture) as cwd:
                r = run(valgrind.COMMAND + [program(name)], stdin, cwd=cwd)
                self.assertIn(r.returncode, status, r.stderr.decode(errors="replace"))
                self.assertNotIn(b"==", r.stderr)


if __name__ == "__main__":
    main()
