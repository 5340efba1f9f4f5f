"""The built programs, read with readelf and nm: hardened as Debian hardens
its own packages, on every architecture they are built for."""
import os
import re
import subprocess
import unittest

from harness import main, program

# The calls each program makes that fortifying routes through glibc's checked
# twin, and the unchecked name it would import otherwise.
FORTIFIED = {
    "delay_test": {"__open_2": "open"},
    "blitshow": {"__open_2": "open", "__fprintf_chk": "fprintf"},
}


def tool(name, *args):
    """What the target's readelf or nm (as CMake found it) prints."""
    return subprocess.run([os.environ[name], *args], check=True, capture_output=True,
                          text=True).stdout


def findings(path, fortified):
    """Each hardening the program at path lacks, by name; empty if it has all."""
    header = tool("READELF", "-hW", path)
    dynamic = tool("READELF", "-dW", path)
    segments = tool("READELF", "-lW", path)
    # The compiler's switches, which -frecord-gcc-switches keeps in the program.
    switches = tool("READELF", "-p", ".GCC.command.line", path).split()
    # Where a 32-bit system's files are large, the calls are the 64-bit twins
    # (open64, __open64_2); where long double is IEEE's 128 bits (ppc64el from
    # Debian 14), printf's are named for it (__fprintf_chkieee128): each is
    # taken under its plain name.
    imported = {re.sub(r"64(_2)?$|ieee128$", r"\1", name) for name in
                re.findall(r"^\s+U (\w+)", tool("NM", "-D", "--undefined-only", path), re.M)}
    x86 = re.search(r"Machine:\s+(Advanced Micro Devices X86-64|Intel 80386)", header)
    checks = [
        ("PIE", "DYN (Position-Independent" in header and re.search(r"FLAGS_1.*\bPIE\b", dynamic)),
        ("RELRO", "GNU_RELRO" in segments),
        ("BIND_NOW", re.search(r"\(FLAGS\).*\bBIND_NOW\b", dynamic)),
        ("-fstack-protector-strong",
         "-fstack-protector-strong" in switches and "__stack_chk_fail" in imported),
        ("-fstack-clash-protection", "-fstack-clash-protection" in switches),
        # Intel's control-flow protection exists on x86 only.
        ("-fcf-protection", not x86 or "-fcf-protection=full" in switches),
        ("_FORTIFY_SOURCE", os.environ["FORTIFIED"] == "0" or
         set(fortified) <= imported and not imported & set(fortified.values())),
    ]
    return [name for name, ok in checks if not ok]


class Hardening(unittest.TestCase):
    def test_each_program_is_hardened(self):
        for name, calls in FORTIFIED.items():
            with self.subTest(name):
                self.assertEqual(findings(program(name), calls), [])


if __name__ == "__main__":
    main()
