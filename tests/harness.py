"""Runs the real programs for the tests, with generous time limits."""
import os
import subprocess
import unittest

TIMEOUT = 60  # seconds: only a hang gets anywhere near this


def program(name):
    """Path of a built program, handed over by ctest in the environment."""
    path = os.environ.get(name.upper())
    if not path:
        raise unittest.SkipTest(f"{name.upper()} is not set: run through ctest")
    return path


def sdl_env(**extra):
    """Environment for a run on SDL's dummy video driver, with no display."""
    env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
    env["SDL_VIDEODRIVER"] = "dummy"
    env.update(extra)
    return env


def run(args, stdin=b"", env=None, cwd=None):
    return subprocess.run(args, input=stdin, capture_output=True, env=env or sdl_env(),
                          cwd=cwd, timeout=TIMEOUT, check=False)


def main():
    unittest.main(verbosity=2)
