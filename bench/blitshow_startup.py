#!/usr/bin/env python3
"""blitshow's start-up on the SDL stack in effect (LD_LIBRARY_PATH counts):
the time from its start to its prompt (its window drawn by then) and its
peak memory, under X on a private Xvfb server and, where the stack shows on
Wayland, in weston's headless compositor; under X beside xwininfo, a trivial
X client run the same way, and beside blitshow under the settings a user
may give it in each session (SETTINGS). Runs are taken in turn. Then the
processor time blitshow takes while it waits for ENTER (10 seconds unless
WAIT_S says), in each session, and how often it wakes meanwhile.

Usage: blitshow_startup.py BLITSHOW_FOLDER [RUNS [WAIT_S]]
"""
import os
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from pylib import sdl_stack  # noqa: E402
from pylib.session import session  # noqa: E402
from pylib.threads import activity, wakeups, woken  # noqa: E402

# Environment settings that change how the sdl12-compat stacks draw: under X,
# through OpenGL, as they do unless blitshow tells them otherwise; on Wayland,
# with no libdecor frame. SDL 1.2.15 ignores them all.
SETTINGS = {"X": [{"SDL_RENDER_DRIVER": "opengl", "SDL_FRAMEBUFFER_ACCELERATION": "1"}],
            "Wayland": [{"SDL_VIDEO_WAYLAND_ALLOW_LIBDECOR": "0"}]}


def startup_ms(args, cwd, ready, env):
    """Milliseconds from the start until ready(process) returns."""
    start = time.monotonic()
    with subprocess.Popen(args, cwd=cwd, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL, env=env) as proc:
        ready(proc)
        ms = (time.monotonic() - start) * 1000
        proc.communicate(b"\n", timeout=60)
    if proc.returncode != 0:
        sys.exit(f"{args[0]} ended with status {proc.returncode}")
    return ms


def peak_mib(args, cwd, env):
    """Peak resident memory of a whole run, as GNU time measures it: a child
    of this script would also count the script's own memory, from before exec."""
    with tempfile.NamedTemporaryFile("r") as report:
        subprocess.run(["/usr/bin/time", "-f", "%M", "-o", report.name, *args], cwd=cwd,
                       input=b"\n", stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       env=env, check=True, timeout=60)
        return int(report.read().split()[-1]) / 1024


def waiting(folder, seconds, env):
    """Processor time over some seconds of waiting, as a share of them, and
    the wake-ups a second: of all threads, and of the one that waits."""
    with subprocess.Popen(["./blitshow"], cwd=folder, stdin=subprocess.PIPE,
                          stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, env=env) as proc:
        proc.stdout.readline()
        before, counts = activity(proc.pid), wakeups(proc.pid)
        time.sleep(seconds)
        after, later = activity(proc.pid), wakeups(proc.pid)
        proc.communicate(b"\n", timeout=60)
    return (100 * (after.ran - before.ran) / (after.when - before.when),
            woken(counts, later) / seconds, woken(counts, later, proc.pid) / seconds)


def main():
    if not 2 <= len(sys.argv) <= 4 or not all(a.isdigit() and int(a) > 0 for a in sys.argv[2:]):
        sys.exit("usage: blitshow_startup.py BLITSHOW_FOLDER [RUNS [WAIT_S]]")
    folder = os.path.abspath(sys.argv[1])
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 30
    wait_s = int(sys.argv[3]) if len(sys.argv) > 3 else 10
    blitshow = (["./blitshow"], lambda p: p.stdout.readline())  # ready at its prompt
    xwininfo = (["xwininfo", "-root"], lambda p: p.stdout.read())

    print(f"start-up, {runs} runs each, taken in turn (blitshow: to its prompt; xwininfo: to "
          "the end of its output);\npeak memory from separate runs under GNU time; processor "
          f"time and wake-ups (voluntary context\nswitches: all threads, the main thread) over a "
          f"{wait_s} s wait for ENTER")
    print(f"{'session':<8} {'client':<16} {'n':>4} {'min_ms':>8} {'median_ms':>10} "
          f"{'max_ms':>8} {'peak_MiB':>9} {'wait_cpu_%':>11} {'wakeups/s':>10} {'main/s':>7}  setting")
    with tempfile.TemporaryDirectory(prefix="xdg-runtime-") as runtime_dir:
        for name in sdl_stack.sessions():
            # client, setting, args, ready
            rows = [("blitshow", setting, *blitshow) for setting in [{}] + SETTINGS[name]]
            if name == "X":
                rows.append(("xwininfo -root", {}, *xwininfo))
            times = [[] for _ in rows]
            peaks = [[] for _ in rows]
            with session(name, runtime_dir) as (env, _):
                for _ in range(runs):
                    for i, (_, setting, args, ready) in enumerate(rows):
                        times[i].append(startup_ms(args, folder, ready, dict(env, **setting)))
                        peaks[i].append(peak_mib(args, folder, dict(env, **setting)))
                waited = waiting(folder, wait_s, env)
            for (client, setting, _, _), ms, peak in zip(rows, times, peaks):
                ms.sort()
                measured = client == "blitshow" and not setting
                share, rate, main = (f"{x:.2f}" for x in waited) if measured else "---"
                given = " ".join(f"{k}={v}" for k, v in setting.items()) or "-"
                print(f"{name:<8} {client:<16} {len(ms):>4} {ms[0]:>8.1f} "
                      f"{statistics.median(ms):>10.1f} {ms[-1]:>8.1f} "
                      f"{statistics.median(peak):>9.1f} {share:>11} {rate:>10} {main:>7}  {given}",
                      flush=True)


if __name__ == "__main__":
    main()
