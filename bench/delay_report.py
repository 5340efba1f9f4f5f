"""delay_accuracy's report and raw rows (--csv), read in one place: by
stack_table.py, sleep_margin.py and the bench_smoke test. The methods are
whatever the report has; the ones the tables pick out are named here.
"""
import csv
import os
import re
from collections import namedtuple

TICK_SPIN = "emuSDL_Delay"  # delay_test's own wait
SPIN = "clock_gettime(CLOCK_MONOTONIC) spin"
SLEEPERS = ("SDL_Delay", "std::this_thread::sleep_for", "clock_nanosleep")

# A row of the lateness table, and of the table of the errors delay_test
# would print, both in per cent but n.
Lateness = namedtuple("Lateness", "method wait_ms n min_us median_us p99_us max_us kept_cpu "
                      "in_target cpu")
Errors = namedtuple("Errors", "wait_ms n zero minus_one two_or_more_below above")
Report = namedtuple("Report", "stack call_ns steps lateness errors")
LATENESS = re.compile(r"(\S+(?: \S+)*?)\s+(\d+)\s+(\d+)" + r"\s+(-?[\d.]+)" * 7)
ERRORS = re.compile(r"\s*(\d+)\s+(\d+)" + r"\s+([\d.]+)" * 4)
STEPS = re.compile(r"steps over 2 s: (\d+) changes, ([\d.]+) to ([\d.]+) us apart; (\d+) under "
                   r"500 us, (\d+) over 1500 us; (\d+) left out")


def numbers(match, words=0):
    """A match's groups, the first few words and the rest numbers."""
    return [g if i < words else float(g) if "." in g else int(g)
            for i, g in enumerate(match.groups())]


def read(text):
    """The report's parts: its stack, as each_stack's header names it, the
    cost of an SDL_GetTicks call in ns, the tick's steps (changes, shortest
    and longest in us, under 500 us, over 1500 us, left out) and its two
    tables. A part missing is a ValueError."""
    stack = re.search(r"^SDL stack: (.+)$", text, re.MULTILINE)
    call = re.search(r"^SDL_GetTicks: ([\d.]+) ns a call", text, re.MULTILINE)
    steps = STEPS.search(text)
    lines = text.splitlines()
    lateness = [Lateness(*numbers(m, 1)) for m in map(LATENESS.fullmatch, lines) if m]
    errors = [Errors(*numbers(m)) for m in map(ERRORS.fullmatch, lines) if m]
    if not (stack and call and steps and lateness and errors):
        raise ValueError("not a whole delay_accuracy report")
    return Report(stack[1], float(call[1]), numbers(steps), lateness, errors)


def stack_beside(rows_path):
    """The stack the report beside a file of rows names (the same name,
    .txt), or "unknown"."""
    try:
        with open(os.path.splitext(rows_path)[0] + ".txt", encoding="utf-8") as f:
            return read(f.read()).stack
    except (OSError, ValueError):
        return "unknown"


def rows(path):
    """The raw rows, each a dict by the header's names; a ValueError if they
    lack the method, the wait or how late it ended."""
    with open(path, newline="", encoding="utf-8") as f:
        found = csv.DictReader(f)
        if not {"method", "wait_ms", "late_us"} <= set(found.fieldnames or ()):
            raise ValueError(f"{path} is not delay_accuracy's rows (--csv)")
        return list(found)
