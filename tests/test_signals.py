"""Ctrl-C and kill end both programs while they wait, as they end any console
program; a signal the parent ignores stays ignored. On SDL's dummy driver."""
import os
import signal
import subprocess
import unittest

from harness import ENTER_PROMPT, main, program, sdl_env, while_waiting

# A signal ends a process at once; the waits below last far longer, so a
# program that ignored the signal would still be running at this bound.
ENDS_WITHIN = 5  # seconds
LONG_WAIT = b"100000\n"  # delay_test's entry: 100 s of spinning


def blitshow_folder():
    return os.path.dirname(program("blitshow"))


class Signals(unittest.TestCase):
    def test_signals_while_waiting(self):
        delay, blit = "delay_test", "blitshow"
        cases = [
            # what, program, entry, signal, ignored by the parent, status it ends with
            ("Ctrl-C ends delay_test's spin", delay, LONG_WAIT, signal.SIGINT, False,
             -signal.SIGINT),
            ("kill ends delay_test's spin", delay, LONG_WAIT, signal.SIGTERM, False,
             -signal.SIGTERM),
            ("Ctrl-C ends blitshow's wait", blit, b"", signal.SIGINT, False, -signal.SIGINT),
            ("kill ends blitshow's wait", blit, b"", signal.SIGTERM, False, -signal.SIGTERM),
            # nohup, or a background job of a shell without job control
            ("an ignored Ctrl-C leaves delay_test's spin alone", delay, b"500\n",
             signal.SIGINT, True, 0),
            ("an ignored kill leaves delay_test's spin alone", delay, b"500\n",
             signal.SIGTERM, True, 0),
            ("an ignored Ctrl-C leaves blitshow's wait alone", blit, b"", signal.SIGINT, True,
             0),
        ]
        for what, name, entry, sig, ignored, status in cases:
            with self.subTest(what):
                def send(proc):
                    proc.send_signal(sig)
                    if status == 0:
                        return True
                    try:
                        proc.wait(timeout=ENDS_WITHIN)
                    except subprocess.TimeoutExpired:
                        proc.kill()
                        return False
                    return True

                line, ended, r = while_waiting([program(name)], send, cwd=blitshow_folder(),
                                               env=sdl_env(), entry=entry,
                                               ignored=(sig,) if ignored else ())
                self.assertTrue(ended, f"still running {ENDS_WITHIN} s after the signal")
                self.assertEqual(r.returncode, status, r.stderr)
                # delay_test's spin began right after its first line; an
                # ignored signal lets it print all four.
                if name == delay:
                    self.assertRegex(line, rb": Referencia INICIAL: \d+\n\Z")
                    self.assertEqual(r.stdout.count(b"\n"), 4 if status == 0 else 1)
                else:
                    self.assertEqual(line, ENTER_PROMPT)


if __name__ == "__main__":
    main()
