"""blitshow on malformed pictures: each ends cleanly, in bounded memory."""
import re
import unittest

from harness import main, program, run, scratch_folder
from hostile_bmps import corpus

SHOWN = (0, b"Pulse ENTER para continuar... \n", b"")
REFUSED = re.compile(rb"No se puede cargar la imagen: [^\n]+\n")
PEAK_KIB = 400 * 1024  # far above a normal run, far below a surface the file only claims


class HostilePictures(unittest.TestCase):
    def test_each_ends_cleanly(self):
        for name, data in corpus():
            with self.subTest(name), scratch_folder(data) as cwd:
                r = run([program("blitshow")], b"\n", cwd=cwd)
                if r.returncode == 0:
                    self.assertEqual((r.returncode, r.stdout, r.stderr), SHOWN)
                else:
                    self.assertEqual((r.returncode, r.stdout), (1, b""), r.stderr)
                    self.assertRegex(r.stderr, REFUSED)
                    self.assertIsNotNone(REFUSED.fullmatch(r.stderr), r.stderr)
                self.assertLess(r.peak_kib, PEAK_KIB)


if __name__ == "__main__":
    main()
