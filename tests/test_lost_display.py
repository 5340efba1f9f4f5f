"""The X server vanishing under both programs while they wait, as when a
session ends under a terminal that outlives it: each must end, not spin."""
import os
import subprocess
import unittest

from harness import main, program, session_env, while_waiting

import xshot

ENDS_WITHIN = 5  # seconds after the server is gone; a spinning program never ends
SPIN_MS = 1000  # delay_test's wait, during which the server goes


class LostDisplay(unittest.TestCase):
    def test_server_killed_while_waiting(self):
        lines = rb"Introduzca el tiempo que desea esperar \(ms\): Referencia INICIAL: \d+\n" \
                rb"Referencia FIN: \d+\nHa esperado \d+ ms\nSe ha producido un error de -?\d+ ms\n"
        cases = [
            # what, program, entry, stdout pattern, status, stderr (None: the library's words)
            ("blitshow waiting for ENTER", "blitshow", b"", rb"Pulse ENTER para continuar\.\.\. \n",
             {1}, "Se ha perdido la conexión con la pantalla\n".encode()),
            # It spins on the tick counter alone: it finishes, then SDL's
            # shutdown meets the dead connection.
            ("delay_test spinning", "delay_test", b"%d\n" % SPIN_MS, lines, {0, 1}, None),
        ]
        for what, name, entry, stdout, status, stderr in cases:
            with self.subTest(what):
                server = xshot.Xvfb()
                with server as display:
                    def kill_server(proc):
                        server.server.kill()
                        try:
                            proc.wait(timeout=SPIN_MS / 1000 + ENDS_WITHIN)
                        except subprocess.TimeoutExpired:
                            proc.kill()
                            return False
                        return True

                    _, ended, r = while_waiting([program(name)], kill_server, entry=entry,
                                                env=session_env(DISPLAY=display),
                                                cwd=os.path.dirname(program("blitshow")))
                self.assertTrue(ended, f"still running {ENDS_WITHIN} s after the display went")
                self.assertIn(r.returncode, status, r.stderr)
                self.assertRegex(r.stdout, rb"\A" + stdout + rb"\Z")
                if stderr is not None:
                    self.assertEqual(r.stderr, stderr)
                elif r.returncode != 0:
                    self.assertNotEqual(r.stderr, b"", "a failure must say why")


if __name__ == "__main__":
    main()
