"""The README's table of supported systems says what releases.txt, which
the tooling reads, says: a release and its stacks, and how each is had; and
the shell's reader of releases.txt reads it as the Python one does."""
import contextlib
import io
import os
import re
import subprocess
import unittest

from harness import main

from pylib.releases import release, releases

TOP = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
README = os.path.join(TOP, "README.md")


def supported_systems():
    """The README's section "## Supported systems"."""
    with open(README, encoding="utf-8") as f:
        return f.read().split("\n## Supported systems\n", 1)[1].split("\n## ", 1)[0]


def readme_rows():
    """[(Debian, stack, how)] of the table under "## Supported systems"."""
    section = supported_systems()
    cells = [[c.strip() for c in line.strip().strip("|").split("|")]
             for line in section.splitlines() if line.startswith("|")]
    return [tuple(row) for row in cells[2:]]  # past the header and its rule


class SupportedSystems(unittest.TestCase):
    def test_the_readme_table_is_releases_txt(self):
        rows = readme_rows()
        expected = []
        for r in releases():
            expected.append((r["debian"], r["default"]))
            if r["second"]:
                expected.append((r["debian"], r["second"]))
        self.assertEqual([row[:2] for row in rows], expected)
        for r in releases():
            with self.subTest(debian=r["debian"]):
                how = {stack: how for debian, stack, how in rows if debian == r["debian"]}
                self.assertTrue(how[r["default"]].startswith("the default"), how[r["default"]])
                if r["second"]:
                    # Its package, and its folder for LD_LIBRARY_PATH.
                    self.assertIn(f"`{r['second-package']}`", how[r["second"]])
                    self.assertIn(f"/{r['second-folder']}", how[r["second"]])

    def test_the_readme_architectures_are_releases_txt(self):
        listed = re.findall(r"^- Debian (\d+): (.*)$", supported_systems(), re.M)
        self.assertEqual(listed, [(r["debian"], ", ".join(r["cross"].split()))
                                  for r in releases() if r["cross"]])


class Readers(unittest.TestCase):
    def test_the_shell_and_python_readers_agree(self):
        # Every field of every release, this machine's by default, and one the
        # file does not know, which both read as the newest and say so.
        for codename in [None, "no-such-release"] + [r["codename"] for r in releases()]:
            for field in releases()[0]:
                with self.subTest(codename=codename, field=field), \
                        contextlib.redirect_stderr(io.StringIO()) as said:
                    value = release(codename)[field]
                    self.assertEqual(shell_reader(field, *filter(None, [codename])),
                                     ((value or "") + "\n" * bool(value), bool(said.getvalue())))
        for field in releases()[0]:
            listed = "".join(r["codename"] + "\n" for r in releases() if r[field])
            self.assertEqual(shell_reader("list", field), (listed, False), field)


def shell_reader(*args):
    """release.sh's output, and whether it said anything on standard error."""
    ran = subprocess.run([os.path.join(TOP, "pylib", "release.sh"), *args], capture_output=True,
                         text=True, check=True, timeout=30)
    return ran.stdout, bool(ran.stderr)

if __name__ == "__main__":
    main()
