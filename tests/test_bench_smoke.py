"""The benchmarks run, and their reports hang together. No timing is judged."""
import atexit
import contextlib
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

from bench import delay_report
from pylib import releases, sdl_stack

# The stack table's waits among them, and a wait of 0 ms, which sleeps not.
WAITS, REPS = [0, 1, 10, 50, 100], 3
QUICK = ["--reps", str(REPS), "--waits", ",".join(map(str, WAITS))]
TOP = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")


def run_with_stderr(args, terminal):
    """Runs a program with stderr on a pseudo-terminal or a pipe. Gives its
    status, stdout and what reached stderr: a few lines, which the terminal
    holds until they are read."""
    master, follower = pty.openpty() if terminal else (None, subprocess.PIPE)
    with popen(args, sdl_env(), stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
               stderr=follower) as proc:
        out, err = proc.communicate(timeout=TIMEOUT)
    if terminal:
        os.close(follower)
        # Read to the end (EIO once the program's end is closed): one read
        # may come before the kernel has passed on the last writes.
        err = b""
        with contextlib.suppress(OSError):
            while chunk := os.read(master, 1 << 16):
                err += chunk
        os.close(master)
    return proc.returncode, out, err


# Under qemu-user the benchmark would time the emulation, and blitshow's
# start-up is timed against a native X client.
@unittest.skipIf(EMULATOR, "the benchmark is not run under emulation")
class BenchSmoke(unittest.TestCase):
    def test_delay_accuracy_report(self):
        base = each_stack()[0][2]
        report = delay_report.read(base + ".txt")
        rows = delay_report.rows(base + ".csv")
        changes, shortest, longest, short, long, left_out = report.steps
        self.assertTrue(shortest <= longest and short + long + left_out <= changes)
        # Every method the rows have, in their order, at every wait.
        methods = sorted({(int(row["method_index"]), row["method"]) for row in rows})
        self.assertEqual([(r.method, r.wait_ms) for r in report.lateness],
                         [(name, wait) for _, name in methods for wait in WAITS])
        for r in report.lateness:
            with self.subTest(method=r.method, wait=r.wait_ms):
                mine = [row for row in rows
                        if row["method"] == r.method and int(row["wait_ms"]) == r.wait_ms]
                late = sorted(float(row["late_us"]) for row in mine)
                self.assertEqual((r.n, len(late)), (REPS, REPS))
                self.assertTrue(r.min_us <= r.median_us <= r.p99_us <= r.max_us)
                self.assertAlmostEqual(r.min_us, late[0], delta=1)
                self.assertAlmostEqual(r.max_us, late[-1], delta=1)
                self.assertTrue(0 <= r.kept_cpu <= 100 and 0 <= r.in_target <= 100)
                # Two clocks read apart: a share a little over 100 % is rounding.
                self.assertTrue(0 <= r.cpu <= 110, r)
                self.assertAlmostEqual(
                    r.cpu, statistics.median_low(float(row["cpu_percent"]) for row in mine),
                    delta=0.1)

        self.assertEqual([e.wait_ms for e in report.errors], WAITS)
        for e in report.errors:
            errors = [int(row["printed_error_ms"]) for row in rows if
                      row["method"] == delay_report.TICK_SPIN and int(row["wait_ms"]) == e.wait_ms]
            self.assertEqual(e.n, len(errors))
            self.assertAlmostEqual(sum(e[2:]), 100, delta=0.3)
            self.assertAlmostEqual(e.zero, 100 * errors.count(0) / len(errors), delta=0.1)

    def test_stack_table_rows_follow_the_reports(self):
        stacks = each_stack()
        table = command_output(sys.executable, os.path.join(TOP, "bench", "stack_table.py"),
                               *(base + ".txt" for _, _, base in stacks)).splitlines()
        self.assertEqual(len(table), 2 + len(stacks))
        for line, (_, _, base) in zip(table[2:], stacks):
            report = delay_report.read(base + ".txt")
            in_target = {(r.method, r.wait_ms): r.in_target for r in report.lateness}
            shares = [f"{in_target[delay_report.TICK_SPIN, w]:.1f} "
                      f"({in_target[delay_report.SPIN, w]:.1f})" for w in (1, 10, 50, 100)]
            zero = statistics.mean(e.zero for e in report.errors)
            self.assertEqual(line.strip("| ").split(" | "),
                             [report.stack, f"{report.call_ns:.1f}",
                              f"{report.steps[3]} / {report.steps[4]}", *shares, f"{zero:.1f}"])

    def test_delay_accuracy_shows_progress_only_on_a_terminal(self):
        for terminal in (True, False):
            with self.subTest(stderr_on_a_terminal=terminal):
                status, out, err = run_with_stderr(
                    [program("delay_accuracy"), "--reps", "1", "--waits", "0,1"], terminal)
                self.assertEqual(status, 0)
                self.assertRegex(out.decode(), r"^delay_accuracy: ")
                self.assertNotIn(b"\r", out)
                self.assertNotIn(b"% done", out)
                if terminal:
                    self.assertRegex(err, rb"\r *\d+ % done")
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
        row = (r"(\S+) +(blitshow|xwininfo -root) +2 +([\d.]+) +([\d.]+) +([\d.]+) +([\d.]+)"
               r" +(\S+) +(\S+) +(\S+)  (\S.*)\n")
        rows = {(m[1], m[2], m[10]): m for m in re.finditer(row, report)}
        # One wait measured in each session: blitshow's, started as the user does.
        self.assertEqual(sorted(s for (s, _, _), m in rows.items() if m[7] != "-"),
                         sorted(sdl_stack.sessions()))
        self.assertIn(("X", "xwininfo -root", "-"), rows)
        for (_, client, setting), m in rows.items():
            low, median, high = map(float, m.group(3, 4, 5))
            self.assertTrue(low <= median <= high, m[0])
            self.assertEqual(m[7] == "-", (client, setting) != ("blitshow", "-"), m[0])
            # The wake-ups beside the processor share, counts over the wait,
            # the main thread's among all threads'.
            self.assertEqual((m[8] == "-", m[9] == "-"), (m[7] == "-",) * 2, m[0])
            if m[8] != "-":
                woken, main = (float(x) * wait_s for x in m.group(8, 9))
                self.assertEqual((woken, main), (round(woken), round(main)), m[0])
                self.assertTrue(0 <= main <= woken, m[0])


    def test_each_stack_writes_the_whole_report_on_every_stack(self):
        # make bench's reports: the header, the stack named as the stack tool
        # names it, in the file's name too, then the program's whole output.
        direct = run([program("delay_accuracy"), *QUICK]).stdout.decode()
        for stack, libraries, base in each_stack():
            with self.subTest(stack=stack):
                named = command_output(sys.executable, "-m", "pylib.sdl_stack",
                                       env=sdl_env(LD_LIBRARY_PATH=libraries))
                words = ["delay_accuracy", f"debian{releases.release()['debian']}",
                         *named.lower().split(" on ")]
                self.assertEqual(os.path.basename(base), "-".join(words).replace(" ", "-"))
                with open(base + ".txt", encoding="utf-8") as f:
                    head, body = f.read().split("\n\n", 1)
                self.assertRegex(head, r"^command: .+\nmachine: .+, \d+ cores online, clocksource "
                                 r"\S+\nload: [\d.]+ [\d.]+ [\d.]+\nSDL stack: "
                                 + re.escape(named) + "$")
                self.assertEqual(skeleton(body), skeleton(direct))

    def test_blitshow_causes_report(self):
        r = run([sys.executable, os.path.join(TOP, "bench", "blitshow_causes.py"),
                 os.path.dirname(program("blitshow")), "1"],
                env=sdl_env())
        self.assertEqual((r.returncode, r.stderr), (0, b""))
        head, loader, largest, memory = r.stdout.decode().split("\n\n")
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
        # As make bench runs it, over the rows each stack's run wrote.
        stacks = each_stack()
        report = sleep_margin([base + ".csv" for _, _, base in stacks])
        files = [line.split(None, 4) for line in report.splitlines()[3:4 + len(stacks)]]
        expected = [(sum(row["method"] in delay_report.SLEEPERS and row["wait_ms"] != "0"
                         for row in delay_report.rows(base + ".csv")), f"{stack} ({base}.csv)")
                    for stack, _, base in stacks]
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


STACKS_RUN = []  # each_stack()'s one run


def each_stack():
    """Runs delay_accuracy briefly on each stack through pylib.each_stack,
    once, as make bench runs it, into a folder of its own. Gives (stack,
    LD_LIBRARY_PATH, its files' path less the extension) for each stack."""
    if not STACKS_RUN:
        second = command_output(os.path.join(TOP, "pylib", "second-stack-folder.sh"))
        folder = tempfile.mkdtemp(prefix="bench-")
        atexit.register(shutil.rmtree, folder, ignore_errors=True)
        ran = run([sys.executable, "-m", "pylib.each_stack", "--report",
                   os.path.join(folder, "delay_accuracy"), program("delay_accuracy"), "--csv",
                   "{}.csv", *QUICK], cwd=TOP)
        # Each run's header says the stack's libraries, files and name.
        STACKS_RUN.extend((stack, libraries, base) for libraries, base, stack in re.findall(
            r"^command: env LD_LIBRARY_PATH=(\S*) \S+ --csv (\S+)\.csv .*\n(?:.*\n){2}"
            r"SDL stack: (.+)$", ran.stdout.decode(), re.MULTILINE))
        assert [s[1] for s in STACKS_RUN] == [""] + [second] * bool(second), ran
    return STACKS_RUN


def command_output(*args, env=None):
    return subprocess.run(args, capture_output=True, check=True, env=env,
                          timeout=TIMEOUT).stdout.decode().strip()


def skeleton(report):
    """A report with its figures and their columns' widths left out."""
    return re.sub(r"[ \t]+", " ", re.sub(r"[-+]?\d+(\.\d+)?", "#", report))


def write_rows(path, rows):
    """A file of delay_accuracy's rows (--csv) of (method, wait_ms, late_us),
    each a real row of its method's with those changed."""
    real = delay_report.rows(each_stack()[0][2] + ".csv")
    of_method = {row["method"]: row for row in real}
    with open(path, "w", newline="") as f:
        out = csv.DictWriter(f, fieldnames=list(real[0]))
        out.writeheader()
        for method, wait, late in rows:
            out.writerow(dict(of_method[method], wait_ms=wait, late_us=late))


def sleep_margin(args):
    return command_output(sys.executable, os.path.join(TOP, "bench", "sleep_margin.py"), *args)


def margins(report):
    """The pooled table: (margin_ms, later_%, out_of_target_%, spin_%) a row."""
    rows = report.split("margin_ms")[1].splitlines()[1:]
    return [tuple(map(float, row.split())) for row in rows]


if __name__ == "__main__":
    main()
