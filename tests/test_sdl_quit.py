"""SDL_Quit runs once at every exit that follows a successful start of SDL:
counted from outside, by a library preloaded into the real programs."""
import os
import tempfile
import unittest

from harness import main, program, run, scratch_folder, sdl_env

from pylib import bmp

PICTURE = bmp.encode(5, 3, lambda x, y: (x * 50, y * 100, 200))


class SDLQuit(unittest.TestCase):
    def test_calls_on_every_path(self):
        no_driver = {"SDL_VIDEODRIVER": "no_such_driver"}
        fail_mode = {"LD_PRELOAD": program("fail_video_mode")}
        cases = [
            # what, program, picture, stdin, extra environment, status, calls
            ("delay_test ends normally", "delay_test", None, b"2\n", {}, 0, 1),
            ("delay_test refuses its entry", "delay_test", None, b"2 ms\n", {}, 1, 1),
            # It registers SDL_Quit only once SDL has started.
            ("delay_test cannot start SDL", "delay_test", None, b"2\n", no_driver, 1, 0),
            ("blitshow ends on ENTER", "blitshow", PICTURE, b"\n", {}, 0, 1),
            ("blitshow ends at the end of input", "blitshow", PICTURE, b"", {}, 0, 1),
            ("blitshow cannot load its picture", "blitshow", None, b"\n", {}, 1, 1),
            ("blitshow cannot set its video mode", "blitshow", PICTURE, b"\n", fail_mode, 1, 1),
            # It registers SDL_Quit before it starts SDL.
            ("blitshow cannot start SDL", "blitshow", PICTURE, b"\n", no_driver, 1, 1),
        ]
        for what, name, picture, stdin, extra, status, calls in cases:
            with self.subTest(what), scratch_folder(picture) as cwd, \
                    tempfile.TemporaryDirectory() as logs:
                log = os.path.join(logs, "quit")
                preload = " ".join(filter(None, [program("record_quit"), extra.get("LD_PRELOAD")]))
                env = sdl_env(**{**extra, "LD_PRELOAD": preload, "QUIT_LOG": log})
                r = run([program(name)], stdin, env=env, cwd=cwd)
                self.assertEqual(r.returncode, status, r.stderr)
                recorded = open(log).read().count("SDL_Quit") if os.path.exists(log) else 0
                self.assertEqual(recorded, calls)


if __name__ == "__main__":
    main()
