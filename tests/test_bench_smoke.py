"""The benchmarks run, and their reports hang together. No timing is judged."""
import atexit
import csv
import os
import pty
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import unittest

from harness import EMULATOR, TIMEOUT, main, popen, program, run, sdl_env

from pylib import sdl_stack

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
                env=sdl_env())
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


    def test_delay_stacks_write_the_whole_report_on_every_stack(self):
        # make bench's reports are the program's whole output, each naming its
        # stack as the stack tool does.
        direct = run([program("delay_accuracy"), *QUICK]).stdout.decode()
        for stack, libraries, base in delay_stacks():
            with self.subTest(stack=stack):
                with open(base + ".txt", encoding="utf-8") as f:
                    report = f.read()
                with open(base + ".csv", newline="") as f:
                    rows = list(csv.DictReader(f))
                named = subprocess.run(
                    [sys.executable, "-m", "pylib.sdl_stack"], capture_output=True,
                    check=True, env=sdl_env(LD_LIBRARY_PATH=libraries)).stdout.decode()
                self.assertIn(f"SDL stack: {named.strip()} (", report)
                self.assertEqual(skeleton(report), skeleton(direct))
                self.assertEqual(len(rows), REPS * len(METHODS) * len(WAITS))

    def test_blitshow_causes_report(self):
        r = run([sys.executable, os.path.join(TOP, "bench", "blitshow_causes.py"),
                 os.path.dirname(program("blitshow")), "1"],
                env=sdl_env())
        self.assertEqual((r.returncode, r.stderr), (0, b""))
        head, loader, largest, memory = r.stdout.decode().split("\n\n")
        self.assertIn(f"SDL stack: {sdl_stack.describe()}\n", head + "\n")
        sessions = sdl_stack.sessions()
        counts = [line.split() for line in loader.splitlines()[3:]]
        self.assertEqual([c[0] for c in counts], sessions)
        for session, libraries, relocations, cached, threads in counts:
            with self.subTest(session=session, table="loader"):
                self.assertGreaterEqual(int(libraries), 3)
                self.assertTrue(0 <= int(cached) <= int(relocations), counts)
                self.assertGreaterEqual(int(threads), 1)
        listed = [line.split() for line in largest.splitlines()[3:]]
        self.assertEqual(sorted({row[0] for row in listed}), sorted(sessions))
        for session in sessions:
            with self.subTest(session=session, table="largest libraries"):
                mine = [row for row in listed if row[0] == session]
                entries = [int(row[3]) for row in mine]
                self.assertEqual(len(mine), 3)
                self.assertEqual(entries, sorted(entries, reverse=True))
                # Every stack loads libc, with relocations of its own.
                self.assertTrue(all(0 <= int(row[4]) <= int(row[3]) > 0 for row in mine), mine)
        lines = memory.strip("\n").splitlines()
        header = lines.index(next(line for line in lines if line.startswith("session ")))
        names = lines[header].split()[1:]
        self.assertEqual(names[-1], "total")
        # Every group is described above the table.
        self.assertEqual([line.split()[0] for line in lines[:header] if line.startswith("  ")],
                         names[:-1])
        groups = [line.split() for line in lines[header + 1:]]
        self.assertEqual([g[0] for g in groups], sessions)
        for session, *mib in groups:
            with self.subTest(session=session, table="memory"):
                mib = dict(zip(names, map(float, mib)))
                parts = [mib[n] for n in names[:-1]]
                self.assertTrue(all(v >= 0 for v in parts), mib)
                self.assertGreater(mib["sdl"], 0)
                # Each part rounded to 0.1 MiB.
                self.assertAlmostEqual(sum(parts), mib["total"], delta=0.05 * len(parts))
                # libLLVM is held where the loader brought it in.
                llvm = any(row[1].startswith("libLLVM") for row in listed if row[0] == session)
                self.assertEqual(mib["libLLVM"] > 0, llvm, mib)

    def test_sleep_margin_reads_the_sleeps_at_its_edges(self):
        # Rows as delay_accuracy writes them: (method, wait_ms, late_us).
        cases = [
            ("a sleep as late as the margin ends in time",
             [("SDL_Delay", 1, 1500.0)], 1.5, 0, 0),
            ("a tenth of a microsecond later it ends late, still in target",
             [("SDL_Delay", 1, 1500.1)], 1.5, 100, 0),
            ("50 us past the margin is the last in target",
             [("clock_nanosleep", 10, 1550.0)], 1.5, 100, 0),
            ("beyond that it is out of target",
             [("std::this_thread::sleep_for", 100, 1550.1)], 1.5, 100, 100),
            ("every sleeping call counts, at a wait of 1 ms and more",
             [("SDL_Delay", 1, 0), ("clock_nanosleep", 2, 2000), ("SDL_Delay", 5, 0),
              ("std::this_thread::sleep_for", 1, 1600)], 1, 50, 50),
            ("the spins, and a wait of 0 ms, which sleeps not, do not",
             [("SDL_Delay", 1, 0), ("SDL_Delay", 0, 5000), ("emuSDL_Delay", 1, 5000),
              ("sleep then spin", 1, 5000), ("clock_gettime(CLOCK_MONOTONIC) spin", 5, 5000)],
             1, 0, 0),
        ]
        for name, rows, margin, later, out in cases:
            with self.subTest(name), tempfile.TemporaryDirectory() as folder:
                path = os.path.join(folder, "rows.csv")
                write_rows(path, rows)
                table = margins(sleep_margin(["--margins", str(margin), path]))
                self.assertEqual(table, [(margin, float(later), float(out), table[0][3])])

    def test_sleep_margin_pools_the_stacks_rows(self):
        # As make bench runs it, over the rows delay-stacks.sh wrote.
        stacks = delay_stacks()
        report = sleep_margin([base + ".csv" for _, _, base in stacks])
        files = [line.split(None, 4) for line in report.splitlines()[3:4 + len(stacks)]]
        expected = []
        for _, _, base in stacks:
            with open(base + ".csv", newline="") as f:
                sleeps = sum(row["method"] in METHODS[1:4] and row["wait_ms"] != "0"
                             for row in csv.DictReader(f))
            with open(base + ".txt", encoding="utf-8") as f:
                stack = re.search(r"SDL stack: (.+) \(", f.read())[1]
            expected.append((sleeps, f"{stack} ({base}.csv)"))
        expected.append((sum(n for n, _ in expected), f"pooled ({len(stacks)} files)"))
        self.assertEqual([(int(f[0]), f[4]) for f in files], expected)
        figures = [tuple(map(float, f[1:4])) for f in files]
        for median, p99, high in figures:
            self.assertTrue(median <= p99 <= high, files)
        # A pooled percentile lies among the files' own.
        for column in range(3):
            own = [f[column] for f in figures[:-1]]
            self.assertTrue(min(own) <= figures[-1][column] <= max(own), files)
        self.assertEqual(figures[-1][2], max(f[2] for f in figures[:-1]))

        table = margins(report)
        self.assertEqual([row[0] for row in table], [0.5, 1, 1.5, 2, 3])
        for (margin, later, out, spin), wider in zip(table, table[1:] + [None]):
            with self.subTest(margin=margin):
                self.assertTrue(0 <= out <= later <= 100, table)
                self.assertTrue(0 <= spin <= 10 * margin, table)
                if wider:
                    self.assertTrue(wider[1] <= later and wider[2] <= out, table)
                    self.assertGreaterEqual(wider[3], spin)


STACKS_RUN = []  # delay_stacks()'s one run


def delay_stacks():
    """Runs delay-stacks.sh briefly, once, as make bench runs it, on a build
    folder of its own. Gives (stack, LD_LIBRARY_PATH, its files' path less
    the extension) for each stack it ran."""
    if not STACKS_RUN:
        second = subprocess.run([os.path.join(TOP, "pylib", "second-stack-folder.sh")],
                                capture_output=True, check=True).stdout.decode().strip()
        build = tempfile.mkdtemp(prefix="bench-")
        atexit.register(shutil.rmtree, build, ignore_errors=True)
        os.mkdir(os.path.join(build, "bench"))
        os.symlink(program("delay_accuracy"), os.path.join(build, "bench", "delay_accuracy"))
        subprocess.run([os.path.join(TOP, "bench", "delay-stacks.sh"), build, *QUICK],
                       stdout=subprocess.DEVNULL, check=True, timeout=TIMEOUT)
        for stack, libraries in [("default", "")] + ([("second", second)] if second else []):
            STACKS_RUN.append((stack, libraries,
                               os.path.join(build, "bench", f"delay_accuracy-{stack}")))
    return STACKS_RUN


def skeleton(report):
    """A report with its figures, their columns' widths and the stack it names
    left out."""
    text = re.sub(r"(?m)^SDL stack: .*$", "", report)
    return re.sub(r"[ \t]+", " ", re.sub(r"[-+]?\d+(\.\d+)?", "#", text))


def write_rows(path, rows):
    """A file of delay_accuracy's rows (--csv) of (method, wait_ms, late_us)."""
    with open(path, "w", newline="") as f:
        out = csv.writer(f)
        out.writerow(["method_index", "wait_index", "method", "wait_ms", "late_us",
                      "printed_error_ms", "kept_cpu", "cpu_percent"])
        for method, wait, late in rows:
            index = METHODS.index(method)
            out.writerow([index, 0, method, wait, late, 0 if index == 0 else "", 1, 1.0])


def sleep_margin(args):
    return subprocess.run([sys.executable, os.path.join(TOP, "bench", "sleep_margin.py"), *args],
                          capture_output=True, check=True, timeout=TIMEOUT).stdout.decode()


def margins(report):
    """The pooled table: (margin_ms, later_%, out_of_target_%, spin_%) a row."""
    rows = report.split("margin_ms")[1].splitlines()[1:]
    return [tuple(map(float, row.split())) for row in rows]


if __name__ == "__main__":
    main()
