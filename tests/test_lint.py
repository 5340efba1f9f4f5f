"""The tooling is held to the programs' standard, as the compiler's warnings
hold the C++: every shell script clean under shellcheck -S warning, every
Python file under pyflakes."""
import os
import subprocess
import unittest

from harness import TIMEOUT, main

TOP = os.path.realpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
# Build trees, and the fuzzer's inputs, which are no code.
LEFT_OUT = {".git", "corpus", "findings"}


def sources():
    """The repository's shell scripts (by name or by their first line) and
    Python files."""
    shell, python = [], []
    for folder, subfolders, files in os.walk(TOP):
        subfolders[:] = [d for d in subfolders
                         if d not in LEFT_OUT and not d.startswith("build")]
        for name in files:
            path = os.path.join(folder, name)
            if name.endswith(".py"):
                python.append(path)
                continue
            with open(path, "rb") as f:
                first = f.readline()
            if name.endswith(".sh") or first.startswith((b"#!/bin/sh", b"#!/bin/bash")):
                shell.append(path)
    return sorted(shell), sorted(python)


class Lint(unittest.TestCase):
    def test_each_checker_finds_nothing(self):
        shell, python = sources()
        for checker, files in ((["shellcheck", "-S", "warning"], shell), (["pyflakes3"], python)):
            with self.subTest(checker=checker[0]):
                # Sanity: the walk found the tooling at all.
                self.assertGreater(len(files), 10)
                r = subprocess.run(checker + files, capture_output=True, timeout=TIMEOUT)
                self.assertEqual(r.returncode, 0, (r.stdout + r.stderr).decode())


if __name__ == "__main__":
    main()
