"""The README's table of supported systems says what releases.txt, which
the tooling reads, says: a release and its stacks, and how each is had."""
import os
import unittest

from harness import main

from pylib.releases import releases

README = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "README.md")


def readme_rows():
    """[(Debian, stack, how)] of the table under "## Supported systems"."""
    with open(README, encoding="utf-8") as f:
        text = f.read()
    section = text.split("\n## Supported systems\n", 1)[1].split("\n## ", 1)[0]
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


if __name__ == "__main__":
    main()
