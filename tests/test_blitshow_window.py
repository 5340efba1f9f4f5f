"""What blitshow's real window shows, read back from a private Xvfb server."""
import os
import re
import subprocess
import time
import unittest

from harness import (ENTER_PROMPT, RUNTIME_DIR, desktop, main, native_byte_order, program, run,
                     scratch_folder, settled, while_waiting)

import xclient
from layouts import LAYOUTS, expected_window

from pylib import bmp, make_test_card, sdl_stack, xdisplay
from pylib.session import session
from pylib.threads import read, tasks, wakeups, woken


def differences(got, want, bits=8):
    """What differs, in the top bits of each channel that the picture holds."""
    def top(pixel):
        return tuple(c >> (8 - bits) for c in pixel)
    wrong = [(i % xdisplay.WIDTH, i // xdisplay.WIDTH, g, w)
             for i, (g, w) in enumerate(zip(got, want)) if g != w and top(g) != top(w)]
    return f"{len(wrong)} pixels differ, first (x, y, got, want): {wrong[:4]}" if wrong else ""


COVER = (255, 0, 255)  # the colour of the window that covers blitshow's
COUNTED = 3  # seconds of waiting in which the wake-ups are counted
# A mapping of OpenGL's, Mesa's drivers or LLVM, in /proc/PID/maps.
OPENGL = re.compile(r"/(libGL|libEGL|libLLVM|libgallium|\w+_dri\.so)[^/\n]*$", re.M)
WRONG_COLOURS = ("No se puede inicializar el modo gráfico: Couldn't show true colors: the X "
                 "server reads shared images in the other byte order").encode()


class Pictures:
    """What blitshow's window shows, on the X server that setUpClass starts."""

    @classmethod
    def setUpClass(cls):
        cls.env, _ = cls.enterClassContext(desktop("X"))
        os.environ["DISPLAY"] = cls.env["DISPLAY"]

    def check_shows(self, want, cwd, bits=8, meanwhile=None, ending=b"\n", **user):
        """Runs blitshow in cwd, with the user's variables, and compares its window with
        want while it waits. Once it is shown, meanwhile(process) may disturb it: then it
        must show want again. ending ends the wait. Gives what meanwhile gave."""
        def until_shown():  # or once it has settled on something else
            return settled(xdisplay.grab,
                           lambda got: got is not None and not differences(got, want, bits))

        def look(proc):
            got, seen = until_shown(), None
            if got is not None and not differences(got, want, bits) and meanwhile is not None:
                seen = meanwhile(proc)
                got = until_shown()
            return got, seen

        env = dict(self.env, **user)
        prompt, shown, r = while_waiting([program("blitshow")], look, cwd=cwd, env=env,
                                         ending=ending)
        self.assertEqual((prompt, r.returncode, r.stdout, r.stderr),
                         (ENTER_PROMPT, 0, ENTER_PROMPT, b""))
        got, seen = shown
        self.assertIsNotNone(got, "no 640x480 window")
        self.assertEqual(differences(got, want, bits), "")
        return seen

    def check_shows_the_test_card(self, meanwhile=None, ending=b"\n", **user):
        card = make_test_card
        return self.check_shows(expected_window(card.WIDTH, card.HEIGHT, card.card),
                                os.path.dirname(program("blitshow")), meanwhile=meanwhile,
                                ending=ending, **user)

    # Under X the library's software path draws: no OpenGL, Mesa or LLVM, but where
    # sdl12-compat 1.2.78 makes its window an OpenGL one, whatever renderer it then asks
    # for. A user's choice of OpenGL stands, but on a server of the other byte order,
    # where OpenGL's colours come out wrong, and is still drawn on the program's own
    # thread: Mesa's software renderer's threads can outlive SDL's exit and crash it.
    def test_the_test_card(self):
        def drawn_by(proc):
            names = (read(task + "/comm").strip() for task in tasks(proc.pid))
            return (OPENGL.findall(read(f"/proc/{proc.pid}/maps")),
                    [name for name in names if name.startswith("llvmpipe")])

        cases = [
            # what, the user's variables, whether OpenGL is mapped
            ("by default", {}, sdl_stack.sdl12_version() >= (1, 2, 78)),
            ("asked for OpenGL", {"SDL_RENDER_DRIVER": "opengl"},
             sdl_stack.sdl12_version() >= (1, 2, 78) or
             sdl_stack.sdl12_version() >= sdl_stack.FIRST_COMPAT and native_byte_order()),
        ]
        for what, user, opengl in cases:
            with self.subTest(what):
                mapped, threads = self.check_shows_the_test_card(drawn_by, **user)
                self.assertEqual((bool(mapped), threads), (opengl, []), sorted(set(mapped)))

    def test_layouts(self):
        for what, width, height, pixel, options in LAYOUTS:
            with self.subTest(what), scratch_folder(bmp.encode(width, height, pixel,
                                                               **options)) as cwd:
                # 5-5-5 pixels keep 5 bits a channel; libraries fill the rest differently.
                self.check_shows(expected_window(width, height, pixel), cwd,
                                 5 if options.get("bits") == 16 else 8)

    # Under X the window's work comes on its connection: while nothing
    # happens, the wait sleeps, and its end still ends it.
    def test_sleeps_until_there_is_work(self):
        def count(proc):
            before = wakeups(proc.pid)
            time.sleep(COUNTED)
            return woken(before, wakeups(proc.pid))

        cases = [
            # what ends the wait, what it is given
            ("ENTER", b"\n"),
            ("the end of input", b""),
        ]
        for what, ending in cases:
            with self.subTest(what):
                woke = self.check_shows_the_test_card(count, ending)
                # Every thread's sleep counts, whatever woke it.
                self.assertLessEqual(woke, COUNTED, f"{woke} wake-ups in {COUNTED} s of waiting")


class OnABareServer(Pictures, unittest.TestCase):
    """No window manager: the test plays one, and another program's window."""

    def test_repaints_once_uncovered(self):
        def cover_and_uncover(_):
            x, y = xdisplay.window_position()
            with xclient.Display() as display:
                # A mouse moved over the window first: events that are never
                # read must not crowd out the expose.
                for i in range(400):
                    display.move_pointer(x + i, y + i)
                cover = display.cover(x, y, xdisplay.WIDTH, xdisplay.HEIGHT,
                                      int.from_bytes(bytes(COVER), "big"))
                covered = xdisplay.grab()
                display.uncover(cover)
            self.assertEqual(set(covered), {COVER}, "the cover did not cover the window")

        self.check_shows_the_test_card(cover_and_uncover)

    # An expose met during a flip (tests/expose_in_flip.c clears the window to
    # magenta then) is answered at once, not when the wait next wakes by
    # itself, 5 s later: else the window settles magenta.
    def test_repaints_after_an_expose_met_in_a_flip(self):
        self.env = dict(self.env, LD_PRELOAD=program("expose_in_flip"))
        self.check_shows_the_test_card()

    def test_answers_a_ping(self):
        def ping(_):
            with xclient.Display() as display:
                # blitshow's is the one window that lists its protocols.
                (window, protocols), = display.protocols().items()
                return display.ping(window, timeout=2) if "_NET_WM_PING" in protocols else None

        prompt, answered, r = while_waiting([program("blitshow")], ping,
                                            cwd=os.path.dirname(program("blitshow")), env=self.env)
        self.assertEqual((prompt, r.returncode), (ENTER_PROMPT, 0), r.stderr)
        if answered is None and not sdl_stack.takes_part_in_pings():
            self.skipTest(f"{sdl_stack.describe()}'s window does not list _NET_WM_PING: "
                          "a window manager does not ping it")
        self.assertIsNotNone(answered, "the window does not list _NET_WM_PING")
        self.assertTrue(answered, "the window lists _NET_WM_PING and did not answer in 2 s")


class UnderOpenbox(Pictures, unittest.TestCase):
    """A reparenting window manager from Debian decorates and places the window."""

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        wm = subprocess.Popen(["openbox", "--sm-disable"], stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL)
        cls.addClassCleanup(wm.wait, timeout=30)
        cls.addClassCleanup(wm.terminate)
        # Its first window takes openbox a while on a new machine (fonts for
        # the frame's title): a window of the test's own goes first.
        with xclient.Display() as display:
            if not display.managed(timeout=60):
                raise RuntimeError("openbox took in no window")


class SharingMemoryInTheOtherByteOrder(unittest.TestCase):
    """Emulated in the other byte order (qemu-user), blitshow would share its window's
    image with an X server that reads it in its own, every colour wrong. Without
    shared memory (the classes above there), Xlib converts it, and it is shown."""

    def test_refuses_to_show_wrong_colours(self):
        if native_byte_order():
            self.skipTest("blitshow has the X server's byte order")
        with session("X", RUNTIME_DIR) as (env, _):
            r = run([program("blitshow")], b"\n", env, os.path.dirname(program("blitshow")))
        self.assertEqual(r[:3], (1, b"", WRONG_COLOURS))


if __name__ == "__main__":
    main()
