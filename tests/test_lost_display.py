"""The display server vanishing under both programs while they wait, as when
a session ends under a terminal that outlives it: neither may spin."""
import os
import re
import subprocess
import unittest

from harness import (DELAY_PROMPT, DELAY_RESULT, ENTER_PROMPT, Ran, desktop, main, need_wayland,
                     program, while_waiting)

from pylib.threads import activity

ENDS_WITHIN = 5  # seconds after the server is gone; a spinning program never ends
SPIN_MS = 1000  # delay_test's wait, during which the server goes
LOST = "Se ha perdido la conexión con la pantalla\n".encode()


def once_killed(kill, within):
    """An action for while_waiting: kills the display server, then gives None
    if the program ends within some seconds, else the processor share it took."""
    def act(proc):
        kill()
        before = activity(proc.pid)
        try:
            proc.wait(timeout=within)
            return None
        except subprocess.TimeoutExpired:
            after = activity(proc.pid)
            return (after.ran - before.ran) / (after.when - before.when)
    return act


# One class a display server, each its own test in ctest, so that a run
# without Wayland names the Wayland cases as not run.
class LostDisplay:
    KIND = ""

    def run_killing(self, name, within=SPIN_MS / 1000 + ENDS_WITHIN, entry=b"", kill=True,
                    **extra):
        with desktop(self.KIND) as (env, server):
            action = once_killed(server.kill if kill else lambda: None, within)
            return while_waiting([program(name)], action, entry=entry,
                                 env=dict(env, **extra), cwd=os.path.dirname(program("blitshow")))

    def test_delay_test_ends(self):
        _, spun, r = self.run_killing("delay_test", entry=b"%d\n" % SPIN_MS)
        self.assertIsNone(spun, f"still running {ENDS_WITHIN} s after its wait")
        lines = re.escape(DELAY_PROMPT) + DELAY_RESULT.pattern
        self.assertRegex(r.stdout, rb"\A" + lines + rb"\Z")
        # The spin reads the tick counter alone; SDL's shutdown then meets the
        # dead connection, and may end it in its own words.
        self.assertIn(r.returncode, {0, 1}, r.stderr)
        if r.returncode:
            self.assertNotEqual(r.stderr, b"", "a failure must say why")


class OnX(LostDisplay, unittest.TestCase):
    KIND = "X"

    def test_blitshow_ends_when_its_x_connection_breaks(self):
        # The server killed while blitshow sleeps, or the connection ending
        # while SDL reads it (Xlib's to report), as when the server goes
        # during a trip through SDL.
        cases = {
            "server killed": {},
            "connection cut under SDL": {"kill": False, "LD_PRELOAD": program("cut_connection")},
            # No library reads the connection: the wait's own watch must notice.
            "server killed, SDL reading nothing": {"LD_PRELOAD": program("skip_pump")},
        }
        for case, extra in cases.items():
            with self.subTest(case):
                _, spun, r = self.run_killing("blitshow", **extra)
                self.assertIsNone(spun, f"still running {ENDS_WITHIN} s after the display went")
                self.assertEqual(r, Ran(1, ENTER_PROMPT, LOST, None))


class OnWayland(LostDisplay, unittest.TestCase):
    KIND = "Wayland"

    @classmethod
    def setUpClass(cls):
        need_wayland()

    def test_blitshow_does_not_spin_when_the_compositor_goes(self):
        prompt, share, r = self.run_killing("blitshow", within=2)
        self.assertEqual(prompt, ENTER_PROMPT)
        if share is None:
            # Ended by a library of the desktop's (libdecor's GTK plugin),
            # which says why.
            self.assertNotEqual(r.returncode, 0)
            self.assertNotEqual(r.stderr, b"", "a failure must say why")
        else:
            # SDL 1.2 hands over no Wayland connection, and the quit event
            # SDL sends when it goes is the close button's too, which the
            # program leaves alone: it stays until ENTER, idle. A spin takes
            # a whole processor; a busy machine gives it less, never more.
            self.assertLess(share, 0.5, "spins once the compositor is gone")
            self.assertEqual(r.returncode, 0, r.stderr)


if __name__ == "__main__":
    main()
