"""delay_accuracy's report and raw rows (--csv), read in one place. The
methods are whatever the report has; the ones the tables pick out are
named here."""
import csv
import os
import re
from collections import namedtuple

TICK_SPIN = "emuSDL_Delay"  # delay_test's own wait
SPIN = "clock_gettime(CLOCK_MONOTONIC) spin"
SLEEPERS = ("SDL_Delay", "std::this_thread::sleep_for", "clock_nanosleep")

# A report: its stack, as pylib/each_stack.py's header names it; an
# SDL_GetTicks call in ns; the tick's steps (changes, shortest and longest
# in us, under 500 us, over 1500 us, left out); the rows of its two tables.
Report = namedtuple("Report", "stack call_ns steps lateness errors")
Lateness = namedtuple("Lateness", "method wait_ms n min_us median_us p99_us max_us kept_cpu "
                      "in_target cpu")
Errors = namedtuple("Errors", "wait_ms n zero minus_one two_or_more_below above")  # in %
PARTS = [r"^SDL stack: (.+)$", r"^SDL_GetTicks: ([\d.]+) ns a call",
         r"steps over 2 s: (\d+) changes, ([\d.]+) to ([\d.]+) us apart; (\d+) under 500 us, "
         r"(\d+) over 1500 us; (\d+) left out"]
LATENESS = re.compile(r"(\S+(?: \S+)*?)\s+(\d+)\s+(\d+)" + r"\s+(-?[\d.]+)" * 7)
ERRORS = re.compile(r"\s*(\d+)\s+(\d+)" + r"\s+([\d.]+)" * 4)


def numbers(groups):
    return [float(g) if "." in g else int(g) for g in groups]


def read(path):
    """The report's parts; a part missing is a ValueError."""
    with open(path, encoding="utf-8") as f:
        text = f.read()
    found = [re.search(part, text, re.MULTILINE) for part in PARTS]
    lateness = [Lateness(m[1], *numbers(m.groups()[1:]))
                for m in map(LATENESS.fullmatch, text.splitlines()) if m]
    errors = [Errors(*numbers(m.groups())) for m in map(ERRORS.fullmatch, text.splitlines()) if m]
    if not all(found) or not lateness or not errors:
        raise ValueError("not a whole delay_accuracy report")
    stack, call, steps = found
    return Report(stack[1], float(call[1]), numbers(steps.groups()), lateness, errors)


def stack_beside(rows_path):
    """The stack the report beside a file of rows names (the same name, .txt)."""
    try:
        return read(os.path.splitext(rows_path)[0] + ".txt").stack
    except (OSError, ValueError):
        return "unknown"


def rows(path):
    """The raw rows, as dicts; a ValueError without the method, wait and lateness."""
    with open(path, newline="", encoding="utf-8") as f:
        found = csv.DictReader(f)
        if not {"method", "wait_ms", "late_us"} <= set(found.fieldnames or ()):
            raise ValueError(f"{path} is not delay_accuracy's rows (--csv)")
        return list(found)
