"""Runs a command on each SDL 1.2 stack here: the release's default, then its
second, if any, by LD_LIBRARY_PATH (pylib/second-stack-folder.sh). Each run
begins with written_by.py's header and "SDL stack: NAME", as sdl_stack.py
names it. With --report FOLDER/NAME, each run's output is also the report
FOLDER/NAME-debianN-STACK.txt; "{}" in the arguments is that path less
".txt". With --second, only the second stack runs, which must differ from
the default; a release with one says "SDL stack: this release has one".

Usage: python3 -m pylib.each_stack [--second] [--report FOLDER/NAME] COMMAND [ARG...]
"""
import os
import subprocess
import sys
import tempfile
from pathlib import Path

from pylib import releases, written_by

TOP = Path(__file__).resolve().parents[1]


def output(*command, **env):
    """What a command of the repository prints; its failure ends the run."""
    done = subprocess.run(command, cwd=TOP, env=dict(os.environ, **env), stdout=subprocess.PIPE,
                          text=True)
    if done.returncode != 0:
        sys.exit(done.returncode)
    return done.stdout.strip()


def main():
    args = sys.argv[1:]
    second_only = args[:1] == ["--second"]
    args, report = args[second_only:], None
    if args[:1] == ["--report"] and len(args) > 1:
        report, args = args[1], args[2:]
    if not args or args[0].startswith("--"):
        sys.exit(__doc__.splitlines()[-1])

    second = output("pylib/second-stack-folder.sh")
    stacks = [(folder, output(sys.executable, "-m", "pylib.sdl_stack", LD_LIBRARY_PATH=folder))
              for folder in [""] + [second] * bool(second)]
    if second_only:
        if not second:
            print("SDL stack: this release has one")
            return
        if stacks[0][1] == stacks[1][1]:
            sys.exit(f"each_stack: the second stack is the default, {stacks[0][1]}")
        stacks = stacks[1:]
    # A desktop session's private runtime folder: SDL3 complains without one.
    with tempfile.TemporaryDirectory(prefix="xdg-runtime-") as runtime:
        os.environ.setdefault("XDG_RUNTIME_DIR", runtime)
        for folder, stack in stacks:
            # Named by the release and the stack: NAME-debian12-sdl-1.2.15.
            words = [f"debian{releases.release()['debian']}", *stack.lower().split(" on ")]
            base = f"{report}-" + "-".join(words).replace(" ", "-") if report else ""
            command = ["env", f"LD_LIBRARY_PATH={folder}", *(a.replace("{}", base) for a in args)]
            status = written_by.run(command, report and base + ".txt", [f"SDL stack: {stack}"])
            if status != 0:
                sys.exit(status)


if __name__ == "__main__":
    main()
