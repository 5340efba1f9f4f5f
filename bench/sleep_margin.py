#!/usr/bin/env python3
"""How late the sleeping calls wake, pooled over the raw rows of several
delay_accuracy runs (the .csv files --csv writes, one a stack), and what
that means for the margin of sleep then spin, which sleeps to a margin
before the deadline and spins on from there: a sleep that wakes later than
the margin makes the wait end late, and more than 50 us later than the
margin, out of target. The sleeping calls are SDL_Delay,
std::this_thread::sleep_for and clock_nanosleep, at waits of 1 ms and more
(a wait of 0 ms sleeps not at all). Each file's stack is read from the
report beside it (the same name, .txt), when there is one.

Usage: sleep_margin.py [--margins MS,MS,...] CSV...
"""
import sys

from delay_report import SLEEPERS, rows, stack_beside

MARGINS_MS = [0.5, 1, 1.5, 2, 3]
TARGET_US = 50  # in target: no more than 50 us late
TEN_MS_US = 10000  # the wait the spin's share is given for
USAGE = "usage: sleep_margin.py [--margins MS,MS,...] CSV..."


def percentile(ordered, p):
    """Nearest rank, as delay_accuracy gives its percentiles (p a whole
    number, the rank counted in whole numbers)."""
    return ordered[max(-(-p * len(ordered) // 100), 1) - 1]


def sleeps(path):
    """Late of each sleep of 1 ms and more in a file of rows, in us."""
    try:
        return [float(row["late_us"]) for row in rows(path)
                if row["method"] in SLEEPERS and int(row["wait_ms"]) >= 1]
    except (ValueError, TypeError):
        sys.exit(f"sleep_margin.py: {path} is not delay_accuracy's rows (--csv)")
    except OSError as e:
        sys.exit(f"sleep_margin.py: cannot read {path}: {e.strerror}")


def share(late, above_us):
    return 100 * sum(us > above_us for us in late) / len(late)


def spin_percent(late, margin_us):
    """Mean share of a 10 ms wait that sleep then spin spends spinning."""
    spun = sum(min(max(margin_us - us, 0), TEN_MS_US) for us in late) / len(late)
    return 100 * spun / TEN_MS_US


def parse(argv):
    margins, paths = MARGINS_MS, list(argv)
    if paths[:1] == ["--margins"]:
        try:
            margins = sorted({float(ms) for ms in paths[1].split(",")})
        except (IndexError, ValueError):
            sys.exit(USAGE)
        if not margins or margins[0] < 0:
            sys.exit(USAGE)
        paths = paths[2:]
    if not paths or any(p.startswith("--") for p in paths):
        sys.exit(USAGE)
    return margins, paths


def main():
    margins, paths = parse(sys.argv[1:])
    files = [(path, stack_beside(path), sorted(sleeps(path))) for path in paths]
    pooled = sorted(us for _, _, late in files for us in late)
    if not pooled:
        sys.exit("sleep_margin.py: no sleep of 1 ms or more in the rows")

    print(f"sleep_margin: how late {', '.join(SLEEPERS)} woke, waits of 1 ms and more")
    print("late: real elapsed minus requested, in microseconds, per file and pooled")
    print(f"{'n':>6} {'median_us':>10} {'p99_us':>10} {'max_us':>10}  stack (file)")
    for path, stack, late in files + [(f"{len(files)} files", "pooled", pooled)]:
        figures = ([percentile(late, 50), percentile(late, 99), late[-1]] if late else [])
        print(f"{len(late):>6} " + " ".join(f"{us:>10.1f}" for us in figures)
              + " ".join(f"{'-':>10}" for _ in range(3 - len(figures)))
              + f"  {stack} ({path})")

    print(f"\npooled, {len(pooled)} sleeps: for sleep then spin with each margin, the share "
          "that woke later than the\nmargin (the wait ends late), and more than "
          f"{TARGET_US} us later (it ends out of target); the mean share\nof a 10 ms wait "
          "left to spin, the margin less how late the sleep woke")
    print(f"{'margin_ms':>9} {'later_%':>8} {'out_of_target_%':>16} {'spin_%_of_10_ms':>16}")
    for ms in margins:
        print(f"{ms:>9g} {share(pooled, 1000 * ms):>8.2f} "
              f"{share(pooled, 1000 * ms + TARGET_US):>16.2f} "
              f"{spin_percent(pooled, 1000 * ms):>16.1f}")


if __name__ == "__main__":
    main()
