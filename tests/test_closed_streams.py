"""Both programs started with a standard stream not open: a file that SDL or
a library under it opens (the X connection, on sdl12-compat) must not take
its number, so each behaves exactly as with /dev/null there. Under X, and on
the dummy driver with a connection of a stand-in library held from SDL's
start (tests/hold_connection.c), on every stack."""
import contextlib
import os
import re
import tempfile
import unittest

from harness import (DELAY_PROMPT, DELAY_REFUSED, ENTER_PROMPT, desktop, main, program, run,
                     scratch_folder, sdl_env)


PROMPT, REFUSED, SHOWN = (re.escape(line) for line in (DELAY_PROMPT, DELAY_REFUSED, ENTER_PROMPT))


@contextlib.contextmanager
def under_x():
    """The programs' environment, and what they left behind: nothing here."""
    with desktop("X") as (env, _):
        yield env, lambda: ""


@contextlib.contextmanager
def holding_a_connection():
    """Likewise, with what the program wrote into the held connection since
    the last look."""
    with tempfile.TemporaryDirectory() as folder:
        log = os.path.join(folder, "connection.log")

        def written():
            with contextlib.suppress(FileNotFoundError), open(log) as report:
                os.unlink(log)
                return report.read()
            return ""

        yield sdl_env(LD_PRELOAD=program("hold_connection"), CONNECTION_LOG=log), written


class ClosedStreams(unittest.TestCase):
    def test_each_stream_closed(self):
        delay, blit = "delay_test", "blitshow"
        cases = [
            # what, program, stream closed, entry on stdin, picture shown,
            # status, stdout and stderr patterns (None for the closed one).
            # With stderr closed the run fails, so that it writes there.
            ("delay_test, no stdin: end of input", delay, 0, None, True, 1, PROMPT, REFUSED),
            ("delay_test, no stdout", delay, 1, b"1\n", True, 0, None, b""),
            ("delay_test, no stderr, a refused entry", delay, 2, b"x\n", True, 1, PROMPT, None),
            ("blitshow, no stdin: end of input", blit, 0, None, True, 0, SHOWN, b""),
            ("blitshow, no stdout", blit, 1, b"\n", True, 0, None, b""),
            ("blitshow, no stderr, no picture", blit, 2, b"\n", False, 1, b"", None),
        ]
        for setting, start in (("under X", under_x),
                               ("a library's connection", holding_a_connection)):
            with start() as (env, written), scratch_folder() as empty:
                card = os.path.dirname(program("blitshow"))
                for what, name, closed, entry, shown, status, stdout, stderr in cases:
                    with self.subTest(f"{what}, {setting}"):
                        # No standard input at all is run's None.
                        r = run([program(name)], entry, env=env, cwd=card if shown else empty,
                                closed=(closed,) if entry else ())
                        self.assertEqual(r.returncode, status, r.stderr)
                        for got, want in ((r.stdout, stdout), (r.stderr, stderr)):
                            if want is not None:
                                self.assertRegex(got, rb"\A" + want + rb"\Z")
                        self.assertEqual(written(), "")


if __name__ == "__main__":
    main()
