"""The delay_test dialogue, run for real on SDL's dummy video driver."""
import re
import unittest

from harness import main, program, run, sdl_env

PROMPT = "Introduzca el tiempo que desea esperar (ms): ".encode()
REFUSED = ("Entrada no válida: introduzca un número entero de milisegundos "
           "entre 0 y 2147483647\n").encode()
RESULT = re.compile(rb"Referencia INICIAL: (-?\d+)\nReferencia FIN: (-?\d+)\n"
                    rb"Ha esperado (-?\d+) ms\nSe ha producido un error de (-?\d+) ms\n")


class DelayConsole(unittest.TestCase):
    def check_accepted(self, entry, wait):
        """Runs one accepted entry and checks the four lines and their sums."""
        r = run([program("delay_test")], entry)
        self.assertEqual((r.returncode, r.stderr), (0, b""))
        self.assertTrue(r.stdout.startswith(PROMPT), r.stdout)
        m = RESULT.fullmatch(r.stdout[len(PROMPT):])
        self.assertIsNotNone(m, r.stdout)
        start, end, elapsed, error = map(int, m.groups())
        self.assertEqual(elapsed, end - start)
        self.assertEqual(error, wait - elapsed)
        self.assertGreaterEqual(elapsed, wait, "the spin ended before its wait")

    def check_refused(self, entry):
        r = run([program("delay_test")], entry)
        self.assertEqual((r.returncode, r.stdout, r.stderr), (1, PROMPT, REFUSED))

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
                      b"1 2\n", b"\n5\n", b"5\x00\n", "\u0663\n".encode()]:
            with self.subTest(entry=entry):
                self.check_refused(entry)

    def test_sdl_start_failure(self):
        r = run([program("delay_test")], b"5\n", env=sdl_env(SDL_VIDEODRIVER="no_such_driver"))
        self.assertEqual((r.returncode, r.stdout), (1, b""))
        self.assertRegex(r.stderr, rb"\ANo se pudo iniciar SDL: [^\n]+\n\Z")


if __name__ == "__main__":
    main()
