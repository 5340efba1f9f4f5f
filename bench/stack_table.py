#!/usr/bin/env python3
"""One row per SDL stack from delay_accuracy's reports, as a Markdown table:
the cost of SDL_GetTicks, its uneven steps, emuSDL_Delay's in-target share
at 1, 10, 50 and 100 ms beside the CLOCK_MONOTONIC spin's, and the share of
waits whose printed error was 0.

Usage: stack_table.py REPORT...
"""
import sys

from delay_report import SPIN, TICK_SPIN, read

WAITS = [1, 10, 50, 100]


def row(path):
    try:
        report = read(path)
    except (OSError, ValueError):
        sys.exit(f"stack_table.py: {path} is not a full delay_accuracy report")
    in_target = {(r.method, r.wait_ms): r.in_target for r in report.lateness}
    try:
        shares = [f"{in_target[TICK_SPIN, w]:.1f} ({in_target[SPIN, w]:.1f})" for w in WAITS]
    except KeyError:
        sys.exit(f"stack_table.py: {path} lacks a wait of {', '.join(map(str, WAITS))} ms")
    waits = sum(e.n for e in report.errors)
    zeros = sum(e.n * e.zero for e in report.errors)
    return [report.stack, f"{report.call_ns:.1f}", "{3} / {4}".format(*report.steps), *shares,
            f"{zeros / waits:.1f}"]


def main():
    if len(sys.argv) < 2:
        sys.exit("usage: stack_table.py REPORT...")
    print("| SDL stack | SDL_GetTicks, ns a call | tick steps in 2 s under 500 / over 1500 µs | "
          + " | ".join(f"in target at {w} ms, % (spin)" for w in WAITS)
          + " | printed error 0, % |")
    print("|---" * (4 + len(WAITS)) + "|")
    for path in sys.argv[1:]:
        print("| " + " | ".join(row(path)) + " |")


if __name__ == "__main__":
    main()
