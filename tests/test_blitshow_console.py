"""blitshow's console side, run for real on SDL's dummy video driver."""
import re
import unittest

from harness import ENTER_PROMPT, main, program, run, scratch_folder, sdl_env, while_waiting

from pylib import bmp, sdl_stack

PICTURE = bmp.encode(5, 3, lambda x, y: (x * 50, y * 100, 200))
TWO_BIT = bmp.encode(5, 3, lambda x, y: ((x + y) % 4 * 80, 0, 0), bits=2)


class BlitshowConsole(unittest.TestCase):
    def test_runs(self):
        ok = (0, ENTER_PROMPT, b"")
        load = rb"No se puede cargar la imagen: [^\n]+\n"
        # Where the library gives no reason, the program names the file.
        unsaid = re.escape(
            b"No se puede cargar la imagen: Couldn't read a BMP from Imagenes/ajuste.bmp\n")
        short = load if sdl_stack.words_a_short_bmp() else unsaid
        cases = [
            # what, picture, stdin, extra environment, (status, stdout, stderr pattern)
            ("end of input", PICTURE, b"", {}, ok),
            ("a typed line", PICTURE, b"listo\nmore\n", {}, ok),
            ("no standard input at all", PICTURE, None, {}, ok),
            ("missing picture", None, b"\n", {},
             (1, b"", rb"No se puede cargar la imagen: [^\n]*Imagenes/ajuste\.bmp[^\n]*\n")),
            ("no BMP", b"GIF89a" + bytes(64), b"\n", {}, (1, b"", load)),
            ("empty file", b"", b"\n", {}, (1, b"", short)),
            ("1-byte file", b"B", b"\n", {}, (1, b"", short)),
            # Newer libraries show 2-bit palettes; SDL 1.2.15 refuses them itself.
            ("2-bit palette", TWO_BIT, b"\n", {}, ok if sdl_stack.reads_2_bit_bmp() else
             (1, b"", load)),
            ("truncated BMP", PICTURE[:40], b"\n", {}, (1, b"", load)),
            ("the load fails without a reason", PICTURE, b"\n",
             {"LD_PRELOAD": program("fail_load")}, (1, b"", unsaid)),
            ("SDL start fails", PICTURE, b"\n", {"SDL_VIDEODRIVER": "no_such_driver"},
             (1, b"", rb"No se pudo iniciar SDL: [^\n]+\n")),
            ("video mode fails", PICTURE, b"\n", {"LD_PRELOAD": program("fail_video_mode")},
             (1, b"", re.escape("No se puede inicializar el modo gráfico: "
                                "mode refused by the test".encode()))),
            # Where the library gives no reason, the program names the mode.
            ("video mode fails without a reason", PICTURE, b"\n",
             {"LD_PRELOAD": program("fail_video_mode"), "VIDEO_MODE_ERROR": ""},
             (1, b"", re.escape("No se puede inicializar el modo gráfico: "
                                "Couldn't set a 640x480, 24-bit video mode".encode()))),
        ]
        for what, picture, stdin, extra, (status, stdout, stderr) in cases:
            with self.subTest(what), scratch_folder(picture) as cwd:
                r = run([program("blitshow")], stdin, env=sdl_env(**extra), cwd=cwd)
                self.assertEqual((r.returncode, r.stdout), (status, stdout))
                self.assertRegex(r.stderr, rb"\A" + stderr + rb"\Z")

    def test_prompt_reaches_a_pipe_before_the_wait(self):
        with scratch_folder(PICTURE) as cwd:
            prompt, _, r = while_waiting([program("blitshow")], lambda _: None, cwd=cwd)
        self.assertEqual((prompt, r.returncode, r.stderr), (ENTER_PROMPT, 0, b""))


if __name__ == "__main__":
    main()
