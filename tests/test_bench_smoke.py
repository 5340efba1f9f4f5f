"""The benchmarks run, and their reports hang together. No timing is judged."""
import csv
import os
import pty
import re
import statistics
import subprocess
import sys
import tempfile
import unittest

from harness import (EMULATOR, TIMEOUT, main, popen, program, run, sdl_env,
                     without_leak_check)

import sdl_stack

METHODS = ["emuSDL_Delay", "SDL_Delay", "std::this_thread::sleep_for", "clock_nanosleep",
           "clock_gettime(CLOCK_MONOTONIC) spin", "sleep then spin"]
WAITS, REPS = [0, 1, 2], 3
QUICK = ["--quick", "--reps", str(REPS), "--waits", ",".join(map(str, WAITS))]
ROW = re.compile(r"(\S+(?: \S+)*?)\s+(\d+)\s+(\d+)" + r"\s+(-?[\d.]+)" * 7)
PROGRESS = re.compile(rb"\r *\d+ % done")
SHARES = re.compile(r"\s*(\d+)\s+(\d+)" + r"\s+([\d.]+)" * 4)
TOP = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")


def run_with_stderr(args, terminal):
    """Runs a program with stderr on a pseudo-terminal or in a file. Gives its
    status, stdout and what reached stderr."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        master, follower = pty.openpty() if terminal else (None, err.fileno())
        with popen(args, sdl_env(), stdin=subprocess.DEVNULL, stdout=out,
                   stderr=follower) as proc:
            seen = b""
            if terminal:
                os.close(follower)
                while True:
                    try:
                        chunk = os.read(master, 4096)
                    except OSError:  # the program has closed the terminal
                        break
                    if not chunk:
                        break
                    seen += chunk
                os.close(master)
            proc.wait(timeout=TIMEOUT)
        out.seek(0)
        err.seek(0)
        return proc.returncode, out.read(), seen + err.read()


# Under qemu-user the benchmark would time the emulation, and blitshow's
# start-up is timed against a native X client.
@unittest.skipIf(EMULATOR, "the benchmark is not run under emulation")
class BenchSmoke(unittest.TestCase):
    def test_delay_accuracy_report(self):
        with tempfile.TemporaryDirectory() as folder:
            rows_file = os.path.join(folder, "rows.csv")
            r = run([program("delay_accuracy"), *QUICK, "--csv", rows_file])
            self.assertEqual((r.returncode, r.stderr), (0, b""))
            with open(rows_file, newline="") as f:
                rows = list(csv.DictReader(f))
        report = r.stdout.decode()
        self.assertRegex(report, r"SDL_GetTicks: [\d.]+ ns a call")
        self.assertRegex(report, r"machine: .+ cores online, clocksource ")
        steps = re.search(r"steps over 2 s: (\d+) changes, ([\d.]+) to ([\d.]+) us apart; "
                          r"(\d+) under 500 us, (\d+) over 1500 us; (\d+) left out", report)
        self.assertIsNotNone(steps, report)
        changes, shortest, longest, short, long, left_out = map(float, steps.groups())
        self.assertTrue(shortest <= longest and short + long + left_out <= changes)

        table = [m.groups() for m in map(ROW.fullmatch, report.splitlines()) if m]
        self.assertEqual([(name, int(wait)) for name, wait, *_ in table],
                         [(name, wait) for name in METHODS for wait in WAITS])
        for name, wait, n, low, median, p99, high, kept, in_target, cpu in table:
            with self.subTest(method=name, wait=wait):
                mine = [row for row in rows if row["method"] == name and row["wait_ms"] == wait]
                late = sorted(float(row["late_us"]) for row in mine)
                self.assertEqual((int(n), len(late)), (REPS, REPS))
                self.assertTrue(float(low) <= float(median) <= float(p99) <= float(high))
                self.assertAlmostEqual(float(low), late[0], delta=1)
                self.assertAlmostEqual(float(high), late[-1], delta=1)
                self.assertTrue(0 <= float(kept) <= 100 and 0 <= float(in_target) <= 100)
                # Two clocks read apart: a share a little over 100 % is rounding.
                self.assertTrue(0 <= float(cpu) <= 110, cpu)
                self.assertAlmostEqual(
                    float(cpu), statistics.median_low(float(row["cpu_percent"]) for row in mine),
                    delta=0.1)

        shares = [m.groups() for m in map(SHARES.fullmatch, report.splitlines()) if m]
        self.assertEqual([int(wait) for wait, *_ in shares], WAITS)
        for wait, n, *percent in shares:
            errors = [int(row["printed_error_ms"]) for row in rows
                      if row["method"] == "emuSDL_Delay" and row["wait_ms"] == wait]
            self.assertEqual(int(n), len(errors))
            self.assertAlmostEqual(sum(map(float, percent)), 100, delta=0.3)
            self.assertAlmostEqual(float(percent[0]), 100 * errors.count(0) / len(errors),
                                   delta=0.1)

    def test_stack_table_rows_follow_the_reports(self):
        r = run([program("delay_accuracy"), "--reps", "2", "--waits", "1,10,50,100"])
        report = r.stdout.decode()
        with tempfile.NamedTemporaryFile("w", suffix=".txt") as saved:
            saved.write(report)
            saved.flush()
            table = subprocess.run(
                [sys.executable, os.path.join(TOP, "bench", "stack_table.py"), saved.name,
                 saved.name], capture_output=True, check=True).stdout.decode().splitlines()
        self.assertEqual(len(table), 4)
        stack = re.search(r"SDL stack: (.+) \(", report)[1]
        cost = re.search(r"SDL_GetTicks: ([\d.]+) ns a call", report)[1]
        steps = re.search(r"(\d+) under 500 us, (\d+) over 1500 us", report).groups()
        in_target = {(m[1], m[2]): m[9] for m in map(ROW.fullmatch, report.splitlines()) if m}
        shares = [f"{in_target['emuSDL_Delay', w]} ({in_target[METHODS[4], w]})"
                  for w in ("1", "10", "50", "100")]
        zero = statistics.mean(float(m[3]) for m in map(SHARES.fullmatch, report.splitlines())
                               if m)
        for line in table[2:]:
            self.assertEqual(line.strip("| ").split(" | "),
                             [stack, cost, " / ".join(steps), *shares, f"{zero:.1f}"])

    def test_delay_accuracy_names_its_stack_as_the_stack_tool_does(self):
        report = run([program("delay_accuracy"), *QUICK]).stdout.decode()
        named = subprocess.run([sys.executable, os.path.join(TOP, "tools", "sdl_stack.py")],
                               capture_output=True, check=True, env=sdl_env())
        self.assertIn(f"SDL stack: {named.stdout.decode().strip()} (", report)

    def test_delay_accuracy_shows_progress_only_on_a_terminal(self):
        for terminal in (True, False):
            with self.subTest(stderr_on_a_terminal=terminal):
                status, out, err = run_with_stderr([program("delay_accuracy"), *QUICK], terminal)
                self.assertEqual(status, 0)
                self.assertRegex(out.decode(), r"^delay_accuracy: ")
                self.assertNotIn(b"\r", out)
                self.assertNotIn(b"% done", out)
                if terminal:
                    self.assertRegex(err, PROGRESS)
                    self.assertIn(b"100 % done", err)
                else:
                    self.assertEqual(err, b"")

    def test_delay_accuracy_refuses_bad_options(self):
        for args in (["--reps", "0"], ["--waits", "1,x"], ["--csv"], ["--fast"]):
            with self.subTest(args=args):
                r = run([program("delay_accuracy")] + args)
                self.assertEqual((r.returncode, r.stdout), (1, b""))
                self.assertRegex(r.stderr.decode(),
                                 r"^delay_accuracy: [^\n]+\nusage: delay_accuracy \[")

    def test_blitshow_startup_report(self):
        wait_s = 1
        r = run([sys.executable, os.path.join(TOP, "bench", "blitshow_startup.py"),
                 os.path.dirname(program("blitshow")), "2", str(wait_s)],
                env=without_leak_check(sdl_env()))
        self.assertEqual((r.returncode, r.stderr), (0, b""))
        report = r.stdout.decode()
        self.assertIn(f"SDL stack: {sdl_stack.describe()}\n", report)
        row = (r"(\S+) +(blitshow|xwininfo -root) +2 +([\d.]+) +([\d.]+) +([\d.]+) +([\d.]+)"
               r" +(\S+) +(\S+)  (\S.*)\n")
        rows = {(m[1], m[2], m[9]): m for m in re.finditer(row, report)}
        # One wait measured in each session: blitshow's, started as the user does.
        self.assertEqual(sorted(s for (s, _, _), m in rows.items() if m[7] != "-"),
                         sorted(sdl_stack.sessions()))
        self.assertIn(("X", "xwininfo -root", "-"), rows)
        for (_, client, setting), m in rows.items():
            low, median, high = map(float, m.group(3, 4, 5))
            self.assertTrue(low <= median <= high, m[0])
            self.assertEqual(m[7] == "-", (client, setting) != ("blitshow", "-"), m[0])
            # The wake-ups beside the processor share, a count over the wait.
            self.assertEqual(m[8] == "-", m[7] == "-", m[0])
            if m[8] != "-":
                woken = float(m[8]) * wait_s
                self.assertEqual(woken, round(woken), m[0])
                self.assertGreaterEqual(woken, 0, m[0])


if __name__ == "__main__":
    main()
