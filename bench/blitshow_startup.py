#!/usr/bin/env python3
"""How long blitshow takes from its start to its prompt (its window drawn),
and its peak memory, beside a trivial X client run the same way, on a
private Xvfb server, over repeated runs taken in turn.

Usage: blitshow_startup.py BLITSHOW_FOLDER [RUNS]
"""
import os
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))
import xshot  # noqa: E402


def startup_ms(args, cwd, ready):
    """Milliseconds from the start until ready(process) returns."""
    start = time.monotonic()
    with subprocess.Popen(args, cwd=cwd, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL) as proc:
        ready(proc)
        ms = (time.monotonic() - start) * 1000
        proc.communicate(b"\n", timeout=60)
    if proc.returncode != 0:
        sys.exit(f"{args[0]} ended with status {proc.returncode}")
    return ms


def peak_mib(args, cwd):
    """Peak resident memory of a whole run, as GNU time measures it: a child
    of this script would also count the script's own memory, from before exec."""
    with tempfile.NamedTemporaryFile("r") as report:
        subprocess.run(["/usr/bin/time", "-f", "%M", "-o", report.name, *args], cwd=cwd,
                       input=b"\n", stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       check=True, timeout=60)
        return int(report.read().split()[-1]) / 1024


def main():
    if len(sys.argv) not in (2, 3) or (len(sys.argv) == 3 and not sys.argv[2].isdigit()):
        sys.exit("usage: blitshow_startup.py BLITSHOW_FOLDER [RUNS]")
    folder = os.path.abspath(sys.argv[1])
    runs = int(sys.argv[2]) if len(sys.argv) == 3 else 30
    clients = {
        # blitshow is ready once its prompt is out: the window is drawn by then.
        "blitshow": (["./blitshow"], lambda p: p.stdout.readline()),
        "xwininfo -root": (["xwininfo", "-root"], lambda p: p.stdout.read()),
    }
    times = {name: [] for name in clients}
    peaks = {name: [] for name in clients}
    with xshot.Xvfb() as display:
        os.environ["DISPLAY"] = display
        os.environ.pop("SDL_VIDEODRIVER", None)
        for _ in range(runs):
            for name, (args, ready) in clients.items():
                times[name].append(startup_ms(args, folder, ready))
                peaks[name].append(peak_mib(args, folder))

    print(f"start-up on Xvfb, {runs} runs each, taken in turn "
          "(blitshow: to its prompt; xwininfo: to the end of its output);\n"
          "peak memory from separate runs under GNU time")
    print(f"{'client':<16} {'n':>4} {'min_ms':>8} {'median_ms':>10} {'max_ms':>8} "
          f"{'peak_MiB':>9}")
    medians = {}
    for name in clients:
        ms = sorted(times[name])
        peak = statistics.median(peaks[name])
        medians[name] = (statistics.median(ms), peak)
        print(f"{name:<16} {len(ms):>4} {ms[0]:>8.1f} {medians[name][0]:>10.1f} {ms[-1]:>8.1f} "
              f"{peak:>9.1f}")
    (blit_ms, blit_mib), (x_ms, x_mib) = medians.values()
    print(f"ratio blitshow / xwininfo: time {blit_ms / x_ms:.1f}x, peak memory "
          f"{blit_mib / x_mib:.1f}x (medians)")


if __name__ == "__main__":
    main()
