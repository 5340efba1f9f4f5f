"""blitshow on malformed pictures: each ends cleanly, in bounded memory."""
import os
import re
import unittest

from harness import ENTER_PROMPT, main, program, run, scratch_folder

from pylib.hostile_bmps import corpus, giants

SHOWN = (0, ENTER_PROMPT, b"")
REFUSED = re.compile(rb"No se puede cargar la imagen: [^\n]+\n")
TOO_LARGE = b"No se puede cargar la imagen: BMP file is too large\n"
MIB = 1024  # KiB


def peak_bound_kib(size):
    """What a picture file may cost at most: far above a normal run, far below
    a surface that the file only claims. Under qemu-user the peak is qemu's,
    the program's memory within it: 21 to 24 MiB on this corpus against 17
    natively, still far below."""
    return 100 * MIB + 3 * size // 1024


class HostilePictures(unittest.TestCase):
    def check_ends_cleanly(self, r, bound_kib):
        if r.returncode == 0:
            self.assertEqual((r.returncode, r.stdout, r.stderr), SHOWN)
        else:
            self.assertEqual((r.returncode, r.stdout), (1, b""), r.stderr)
            self.assertIsNotNone(REFUSED.fullmatch(r.stderr), r.stderr)
        self.assertLess(r.peak_kib, bound_kib)

    def test_each_ends_cleanly(self):
        for name, data in corpus():
            with self.subTest(name), scratch_folder(data) as cwd:
                r = run([program("blitshow")], b"\n", cwd=cwd)
                self.check_ends_cleanly(r, peak_bound_kib(len(data)))

    def test_giant_files_are_refused(self):
        # Sparse: a header, then a hole up to the size. Nothing of the hole
        # may be read, so the bound is the one for a small file.
        for name, header, size in giants():
            with self.subTest(name), scratch_folder(header) as cwd:
                os.truncate(os.path.join(cwd, "Imagenes", "ajuste.bmp"), size)
                r = run([program("blitshow")], b"\n", cwd=cwd)
                # For its size, not for a failed open: on 32-bit systems too,
                # the program is built with a 64-bit off_t.
                self.assertEqual((r.returncode, r.stdout, r.stderr), (1, b"", TOO_LARGE))
                self.check_ends_cleanly(r, peak_bound_kib(len(header)))

    def test_what_is_no_file_is_refused(self):
        for what, make in [("a folder", os.mkdir),
                           ("a device", lambda path: os.symlink("/dev/urandom", path))]:
            with self.subTest(what), scratch_folder(b"") as cwd:
                path = os.path.join(cwd, "Imagenes", "ajuste.bmp")
                os.unlink(path)
                make(path)
                r = run([program("blitshow")], b"\n", cwd=cwd)
                self.assertEqual((r.returncode, r.stdout, r.stderr),
                                 (1, b"", b"No se puede cargar la imagen: "
                                          b"Imagenes/ajuste.bmp is not a regular file\n"))
                self.check_ends_cleanly(r, peak_bound_kib(0))


if __name__ == "__main__":
    main()
