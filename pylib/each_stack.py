"""Runs a command on each SDL 1.2 stack this machine offers: the release's
default, then the second that releases.txt gives it, if any, through
LD_LIBRARY_PATH (pylib/second-stack-folder.sh). Each run begins with
pylib/written_by.py's header and the stack, named as pylib/sdl_stack.py
names it: "SDL stack: NAME".

With --report FOLDER/NAME, each run's output is also the report
FOLDER/NAME-debianN-STACK.txt, named by the release and the stack (as in
docs/reports); "{}" in the command's arguments stands for that path less
".txt", for the files it writes beside. With --second, the command runs on
the second stack alone, which must be another than the default; on a
release with one stack that is said ("SDL stack: this release has one")
and nothing runs.

Usage: python3 -m pylib.each_stack [--second] [--report FOLDER/NAME] COMMAND [ARG...]
"""
import os
import subprocess
import sys
import tempfile
from pathlib import Path

from pylib import written_by

TOP = Path(__file__).resolve().parents[1]
USAGE = "usage: python3 -m pylib.each_stack [--second] [--report FOLDER/NAME] COMMAND [ARG...]"


def output(*command, **env):
    """What a command of the repository prints. It says on stderr why it
    fails, and its failure ends the run."""
    done = subprocess.run(command, cwd=TOP, env=dict(os.environ, **env), stdout=subprocess.PIPE,
                          text=True)
    if done.returncode != 0:
        sys.exit(done.returncode)
    return done.stdout.strip()


def stacks():
    """[(LD_LIBRARY_PATH, the stack's name)], the default first."""
    second = output("pylib/second-stack-folder.sh")
    folders = [""] + ([second] if second else [])
    return [(folder, output(sys.executable, "-m", "pylib.sdl_stack", LD_LIBRARY_PATH=folder))
            for folder in folders]


def slug(stack):
    """A report's name for the release and a stack: "debian12-sdl-1.2.15"."""
    words = [word for word in stack.lower().split() if word != "on"]
    return "-".join([f"debian{output('pylib/release.sh', 'debian')}", *words])


def main():
    args = sys.argv[1:]
    second_only = args[:1] == ["--second"]
    args = args[second_only:]
    report = None
    if args[:1] == ["--report"] and len(args) > 1:
        report, args = args[1], args[2:]
    if not args or args[0].startswith("--"):
        sys.exit(USAGE)

    runs = stacks()
    if second_only:
        if len(runs) == 1:
            print("SDL stack: this release has one")
            return
        if runs[1][1] == runs[0][1]:
            sys.exit(f"each_stack: the second stack is the default one, {runs[0][1]}")
        runs = runs[1:]
    # A desktop session's private runtime folder: SDL3 complains without one.
    with tempfile.TemporaryDirectory(prefix="xdg-runtime-") as runtime:
        os.environ.setdefault("XDG_RUNTIME_DIR", runtime)
        for folder, stack in runs:
            base = f"{report}-{slug(stack)}" if report else ""
            command = ["env", f"LD_LIBRARY_PATH={folder}", *(a.replace("{}", base) for a in args)]
            status = written_by.run(command, report and base + ".txt", [f"SDL stack: {stack}"])
            if status != 0:
                sys.exit(status)


if __name__ == "__main__":
    main()
