#!/usr/bin/env python3
"""One row per SDL stack from delay_accuracy's reports, as a Markdown table:
the cost of SDL_GetTicks, its uneven steps, emuSDL_Delay's in-target share
at 1, 10, 50 and 100 ms beside the CLOCK_MONOTONIC spin's, and the share of
waits whose printed error was 0.

Usage: stack_table.py REPORT...
"""
import re
import sys

WAITS = [1, 10, 50, 100]
SPIN = "clock_gettime(CLOCK_MONOTONIC) spin"
ROW = re.compile(r"(\S+(?: \S+)*?)\s+(\d+)\s+(\d+)" + r"\s+(-?[\d.]+)" * 7)
SHARES = re.compile(r"\s*(\d+)\s+(\d+)" + r"\s+([\d.]+)" * 4)


def found(pattern, text, path):
    match = re.search(pattern, text, re.MULTILINE)
    if match is None:
        sys.exit(f"stack_table.py: {path} is not a full delay_accuracy report")
    return match.groups()


def row(path):
    with open(path, encoding="utf-8") as f:
        text = f.read()
    (stack,) = found(r"^SDL stack: (.+) \(", text, path)
    (cost,) = found(r"^SDL_GetTicks: ([\d.]+) ns a call", text, path)
    short, long = found(r"(\d+) under 500 us, (\d+) over 1500 us", text, path)
    in_target = {}
    for match in map(ROW.fullmatch, text.splitlines()):
        if match:
            in_target[match[1], int(match[2])] = match[9]
    try:
        shares = [f"{in_target['emuSDL_Delay', w]} ({in_target[SPIN, w]})" for w in WAITS]
    except KeyError:
        sys.exit(f"stack_table.py: {path} lacks a wait of {', '.join(map(str, WAITS))} ms")
    waits = zeros = 0
    for match in map(SHARES.fullmatch, text.splitlines()):
        if match:
            waits += int(match[2])
            zeros += int(match[2]) * float(match[3])
    return [stack, cost, f"{short} / {long}", *shares, f"{zeros / waits:.1f}"]


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
