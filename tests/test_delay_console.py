"""The delay_test dialogue, run for real on SDL's dummy video driver."""
import random
import re
import signal
import unittest

from harness import DELAY_PROMPT, DELAY_REFUSED, DELAY_RESULT, main, program, run, sdl_env


# Every run here should end at once: a refused entry, or a wait of a few
# milliseconds. This bounds a spin, not the time taken: qemu-user and the
# sanitizers stay far within it.
QUICK = 10  # seconds
RESULT = ("Referencia INICIAL: {}\nReferencia FIN: {}\nHa esperado {} ms\n"
          "Se ha producido un error de {} ms\n")

BLANKS = b" \t\v\f\r"
PIECES = [
    lambda rng: b"0" * rng.randint(0, 2) + str(rng.randint(0, 40)).encode(),
    lambda rng: str(rng.randint(2**31 - 2, 10**25)).encode(),
    lambda rng: rng.choice([b"+", b"-"]),
    lambda rng: bytes([rng.choice(BLANKS)]),
    lambda rng: rng.choice([b"a", b"ms", b"e", b"x", b"Z", b".", b","]),
    lambda rng: rng.choice(["ñ".encode(), "\u0663".encode(), b"\xff", b"\x80", b"\x00"]),
    lambda rng: b"\n",
]


def signed32(n):
    """n in 32-bit two's complement, read as signed."""
    return (n + 2**31) % 2**32 - 2**31


def random_entry(rng):
    """Random pieces; half the time a well-formed entry, which one more piece
    may spoil."""
    pieces = [rng.choice(PIECES)(rng) for _ in range(rng.randint(0, 6))]
    if rng.random() < 0.5:
        number, _, sign, blank, *_, newline = PIECES
        extra = pieces[:rng.randint(0, 1)]
        pieces = [blank(rng), rng.choice([b"", b"+", sign(rng)]), number(rng), blank(rng),
                  newline(rng)]
        pieces[rng.randint(0, len(pieces)):0] = extra
    return b"".join(pieces)


def reading(entry):
    """The wait an entry must give, or None where it must be refused."""
    line = entry.split(b"\n", 1)[0]
    m = re.fullmatch(rb"[%s]*([+-]?[0-9]+)[%s]*" % (BLANKS, BLANKS), line)
    return int(m[1]) if m and 0 <= int(m[1]) <= 2**31 - 1 else None


class DelayConsole(unittest.TestCase):
    hung = False  # after one spin the other runs are skipped: each could take QUICK

    def delay_test(self, entry, env=None):
        """Runs delay_test on entry; a run that goes on past QUICK fails."""
        if DelayConsole.hung:
            self.skipTest("an earlier run of delay_test did not end")
        r = run([program("delay_test")], entry, env=env, timeout=QUICK)
        if r.returncode == -signal.SIGKILL:
            DelayConsole.hung = True
            self.fail(f"delay_test still running after {QUICK} s")
        return r

    def check_accepted(self, entry, wait, env=None):
        """Runs one accepted entry and checks the four lines and their sums.
        Gives the first reading."""
        r = self.delay_test(entry, env)
        self.assertEqual((r.returncode, r.stderr), (0, b""))
        self.assertTrue(r.stdout.startswith(DELAY_PROMPT), r.stdout)
        m = DELAY_RESULT.fullmatch(r.stdout[len(DELAY_PROMPT):])
        self.assertIsNotNone(m, r.stdout)
        start, end, elapsed, error = map(int, m.groups())
        self.assertEqual(elapsed, signed32(end - start))
        self.assertEqual(error, signed32(wait - elapsed))
        self.assertGreaterEqual(elapsed, wait, "the spin ended before its wait")
        return start

    def check_refused(self, entry):
        r = self.delay_test(entry)
        self.assertEqual((r.returncode, r.stdout, r.stderr), (1, DELAY_PROMPT, DELAY_REFUSED))

    def test_accepted_entries(self):
        for entry, wait in [(b"0\n", 0), (b"1\n", 1), (b"7\n", 7), (b"  3 \n", 3),
                            (b"\t2\t\n", 2), (b"+4\n", 4), (b"0005\n", 5), (b"6", 6),
                            (b"2\r\n", 2), (b"1\nrest of the input\n", 1)]:
            with self.subTest(entry=entry):
                self.check_accepted(entry, wait)

    def test_refused_entries(self):
        for entry in [b"", b"\n", b"   \n", b"abc\n", b"-1\n", b"-2147483648\n",
                      b"2147483648\n", b"99999999999999999999\n", b"5 ms\n", b"12abc\n",
                      b"1e3\n", b"5.0\n", b"0x10\n", b"+ 5\n", b"++5\n", b"--5\n",
                      b"1 2\n", b"\n5\n", b"5\x00\n", "\u0663\n".encode(),
                      None]:  # no standard input open at all
            with self.subTest(entry=entry):
                self.check_refused(entry)

    def test_random_entries(self):
        rng = random.Random(20261208)
        tried = 0
        while tried < 300:
            entry = random_entry(rng)
            wait = reading(entry)
            if wait is not None and wait > 40:
                continue  # only short waits
            tried += 1
            with self.subTest(entry=entry):
                if wait is None:
                    self.check_refused(entry)
                else:
                    self.check_accepted(entry, wait)

    def test_tick_count_passing_2_31_and_2_32(self):
        for first in (2**31 - 3, 2**32 - 3):
            with self.subTest(first=first):
                env = sdl_env(LD_PRELOAD=program("shift_ticks"), TICKS_START=str(first))
                # The wait of 6 ms from there passes the boundary.
                self.assertEqual(self.check_accepted(b"6\n", 6, env), signed32(first))

    def test_exact_lines_on_counted_ticks(self):
        # Ticks counted, not timed: each reading a millisecond after the one
        # before, emuSDL_Delay's start 3 ms later still, as if the start line
        # took that long to write. The spin ends at the first reading the wait
        # after that start (a wait of 0 still takes one) and the end reference
        # comes a reading later: the wait overruns by 5 ms, 6 for a wait of 0,
        # and the error is minus that.
        env = sdl_env(LD_PRELOAD=program("count_ticks"), TICKS_JUMP="3")
        for entry, lines in [(b"5\n", (0, 10, 10, -5)), (b"0\n", (0, 6, 6, -6))]:
            with self.subTest(entry=entry):
                r = self.delay_test(entry, env)
                self.assertEqual((r.returncode, r.stdout, r.stderr),
                                 (0, DELAY_PROMPT + RESULT.format(*lines).encode(), b""))

    def test_sdl_start_failure(self):
        r = self.delay_test(b"5\n", sdl_env(SDL_VIDEODRIVER="no_such_driver"))
        self.assertEqual((r.returncode, r.stdout), (1, b""))
        self.assertRegex(r.stderr, rb"\ANo se pudo iniciar SDL: [^\n]+\n\Z")


if __name__ == "__main__":
    main()
