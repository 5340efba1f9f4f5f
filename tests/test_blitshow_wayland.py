"""blitshow on its native Wayland backend, in weston's headless compositor:
its window is found in a screenshot wherever weston placed it, and compared
pixel for pixel."""
import glob
import os
import subprocess
import tempfile
import time
import unittest

from harness import (ENTER_PROMPT, TIMEOUT, desktop, main, need_wayland, program, settled,
                     while_waiting)

from layouts import PICTURE_AT, card_window_rows

from pylib import make_test_card
from pylib.pngfile import read_png
from pylib.threads import wakeups, woken
from pylib.xdisplay import WIDTH

COUNTED = 3  # seconds of waiting in which the wake-ups are counted


def find_window(rows, want):
    """The top-left corner of want (rows of RGB bytes) in a screen's rows, or None."""
    at = PICTURE_AT
    first = want[at][3 * at:3 * (at + make_test_card.WIDTH)]  # the card's top row
    for y in range(at, len(rows) - len(want) + at + 1):
        found = rows[y].find(first)
        while found >= 0:
            if found % 3 == 0 and found // 3 >= at:
                x0, y0 = found // 3 - at, y - at
                window = [row[3 * x0:3 * (x0 + WIDTH)] for row in rows[y0:y0 + len(want)]]
                if window == want:
                    return x0, y0
            found = rows[y].find(first, found + 1)
    return None


def screenshot(env):
    """The whole screen of the session env is in, as rows of RGB bytes."""
    with tempfile.TemporaryDirectory() as folder:
        subprocess.run(["weston-screenshooter"], cwd=folder, env=env, check=True,
                       capture_output=True, timeout=TIMEOUT)
        (path,) = glob.glob(os.path.join(folder, "*.png"))
        return read_png(path)[2]


class BlitshowWayland(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        # SDL 1.2.15 has no Wayland backend; Debian 12's SDL2 2.26 crashes in
        # its own Wayland start (SDL_Init) under a headless weston.
        need_wayland()
        # Nothing of X may leak in: SDL finds weston by WAYLAND_DISPLAY alone.
        cls.env, _ = cls.enterClassContext(desktop("Wayland"))

    # The compositor keeps the window's picture: while it waits, blitshow
    # wakes only to answer the compositor, once a second (and once more where
    # the count's ends fall). The frame's library has threads of its own,
    # which no setting of the program's quietens: its own thread is counted.
    def test_the_test_card(self):
        want = card_window_rows()

        def find(proc):
            # Given up on once the screen has settled without it.
            rows = settled(lambda: screenshot(self.env), lambda rows: find_window(rows, want))
            before = wakeups(proc.pid)
            time.sleep(COUNTED)
            return find_window(rows, want), woken(before, wakeups(proc.pid), proc.pid)

        prompt, found, r = while_waiting([program("blitshow")], find,
                                         cwd=os.path.dirname(program("blitshow")), env=self.env)
        self.assertEqual((prompt, r.returncode), (ENTER_PROMPT, 0), r.stderr)
        where, woke = found
        # With no GPU and no seat, Mesa and libdecor's GTK plugin talk on
        # stderr; blitshow itself says nothing.
        self.assertNotIn(b"No se", r.stderr)
        self.assertIsNotNone(where, "the test card's window is nowhere on the screen")
        self.assertLessEqual(woke, COUNTED + 1, f"{woke} wake-ups in {COUNTED} s of waiting")


if __name__ == "__main__":
    main()
