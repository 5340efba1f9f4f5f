#!/usr/bin/env python3
"""Shows blitshow on a private Xvfb server, for machines with no display,
and saves a screenshot of its window as a PNG file: SCREENSHOT.png, or
window.png in blitshow's folder.

Usage: show_headless.py BLITSHOW_FOLDER [SCREENSHOT.png]
"""
import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from pylib import pngfile, xdisplay  # noqa: E402
from pylib.session import session  # noqa: E402


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit("usage: show_headless.py BLITSHOW_FOLDER [SCREENSHOT.png]")
    folder = os.path.abspath(sys.argv[1])
    shot = os.path.abspath(sys.argv[2] if len(sys.argv) == 3 else
                           os.path.join(folder, "window.png"))
    with session("X") as (env, _):
        os.environ["DISPLAY"] = env["DISPLAY"]  # for the screenshot
        # The prompt comes once the window is drawn. The user's ENTER is passed
        # on only after the screenshot, so that the window is still there.
        with subprocess.Popen(["./blitshow"], cwd=folder, stdin=subprocess.PIPE,
                              stdout=subprocess.PIPE, env=env) as blitshow:
            prompt = blitshow.stdout.readline()
            pixels = xdisplay.grab() if prompt else None
            if pixels:
                pngfile.write_png(shot, pixels, xdisplay.WIDTH, xdisplay.HEIGHT)
                print(f"[No display: blitshow shows on Xvfb ({env['DISPLAY']}); "
                      f"a screenshot of its window: {shot}]", flush=True)
            sys.stdout.buffer.write(prompt)
            sys.stdout.flush()
            blitshow.communicate(sys.stdin.buffer.readline() if prompt else b"")
    return blitshow.returncode


if __name__ == "__main__":
    sys.exit(main())
