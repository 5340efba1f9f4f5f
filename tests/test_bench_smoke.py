"""The benchmarks run, and their reports hang together. No timing is judged."""
import csv
import os
import re
import sys
import tempfile
import unittest

from harness import main, program, run, sdl_env

METHODS = ["emuSDL_Delay", "SDL_Delay", "std::this_thread::sleep_for", "clock_nanosleep",
           "clock_gettime(CLOCK_MONOTONIC) spin"]
WAITS, REPS = [0, 1, 2], 3
ROW = re.compile(r"(\S+(?: \S+)?)\s+(\d+)\s+(\d+)" + r"\s+(-?[\d.]+)" * 6)
SHARES = re.compile(r"\s*(\d+)\s+(\d+)" + r"\s+([\d.]+)" * 4)
TOP = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")


class BenchSmoke(unittest.TestCase):
    def test_delay_accuracy_report(self):
        with tempfile.TemporaryDirectory() as folder:
            rows_file = os.path.join(folder, "rows.csv")
            r = run([program("delay_accuracy"), "--quick", "--reps", str(REPS), "--waits",
                     ",".join(map(str, WAITS)), "--csv", rows_file])
            self.assertEqual((r.returncode, r.stderr), (0, b""))
            with open(rows_file, newline="") as f:
                rows = list(csv.DictReader(f))
        report = r.stdout.decode()
        self.assertRegex(report, r"SDL_GetTicks: [\d.]+ ns a call")
        self.assertRegex(report, r"machine: .+ cores online, clocksource ")
        steps = re.search(r"steps over 2 s: (\d+) changes, ([\d.]+) to ([\d.]+) us apart; "
                          r"(\d+) under 500 us, (\d+) over 1500 us", report)
        self.assertIsNotNone(steps, report)
        changes, shortest, longest, short, long = map(float, steps.groups())
        self.assertTrue(shortest <= longest and short + long <= changes)

        table = [m.groups() for m in map(ROW.fullmatch, report.splitlines()) if m]
        self.assertEqual([(name, int(wait)) for name, wait, *_ in table],
                         [(name, wait) for name in METHODS for wait in WAITS])
        for name, wait, n, low, median, p99, high, kept, in_target in table:
            with self.subTest(method=name, wait=wait):
                late = sorted(float(row["late_us"]) for row in rows
                              if row["method"] == name and row["wait_ms"] == wait)
                self.assertEqual((int(n), len(late)), (REPS, REPS))
                self.assertTrue(float(low) <= float(median) <= float(p99) <= float(high))
                self.assertAlmostEqual(float(low), late[0], delta=1)
                self.assertAlmostEqual(float(high), late[-1], delta=1)
                self.assertTrue(0 <= float(kept) <= 100 and 0 <= float(in_target) <= 100)

        shares = [m.groups() for m in map(SHARES.fullmatch, report.splitlines()) if m]
        self.assertEqual([int(wait) for wait, *_ in shares], WAITS)
        for wait, n, *percent in shares:
            errors = [int(row["printed_error_ms"]) for row in rows
                      if row["method"] == "emuSDL_Delay" and row["wait_ms"] == wait]
            self.assertEqual(int(n), len(errors))
            self.assertAlmostEqual(sum(map(float, percent)), 100, delta=0.3)
            self.assertAlmostEqual(float(percent[0]), 100 * errors.count(0) / len(errors),
                                   delta=0.1)

    def test_delay_accuracy_refuses_bad_options(self):
        for args in (["--reps", "0"], ["--waits", "1,x"], ["--csv"], ["--fast"]):
            with self.subTest(args=args):
                r = run([program("delay_accuracy")] + args)
                self.assertEqual((r.returncode, r.stdout), (1, b""))
                self.assertIn(b"uso: delay_accuracy", r.stderr)

    def test_blitshow_startup_report(self):
        r = run([sys.executable, os.path.join(TOP, "bench", "blitshow_startup.py"),
                 os.path.dirname(program("blitshow")), "2"], env=sdl_env())
        self.assertEqual((r.returncode, r.stderr), (0, b""))
        self.assertRegex(r.stdout.decode(), r"blitshow\s+2\s+[\d.]+\s+[\d.]+\s+[\d.]+\s+[\d.]+\n"
                                            r"xwininfo -root\s+2\s+[\d.]+")
        self.assertRegex(r.stdout.decode(), r"ratio blitshow / xwininfo: time [\d.]+x")


if __name__ == "__main__":
    main()
