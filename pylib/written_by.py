"""Writes a report that says where it comes from: its first lines give the
command that wrote it, the machine (processor, cores online, clock source)
and the load when it began; then what the command prints, or with --from,
the file it leaves. The terminal sees it all too.

Usage: python3 -m pylib.written_by [--from FILE] REPORT COMMAND [ARG...]
"""
import os
import shlex
import subprocess
import sys


def header(command, lines=()):
    """The report's first lines, the caller's lines after them."""
    with open("/proc/cpuinfo", encoding="utf-8") as f:
        processor = next((line.split(": ", 1)[1].strip() for line in f
                          if line.startswith("model name")), "unknown")
    with open("/sys/devices/system/clocksource/clocksource0/current_clocksource") as f:
        clock = f.read().strip()
    return "".join(f"{line}\n" for line in [
        f"command: {shlex.join(command)}", f"machine: {processor}, "
        f"{os.sysconf('SC_NPROCESSORS_ONLN')} cores online, clocksource {clock}",
        "load: " + " ".join(f"{n:.2f}" for n in os.getloadavg()), *lines, ""])


def run(command, report=None, lines=(), body=None):
    """Runs a command: the header, then its output or the file body, to the
    terminal and to the report if one is given. Gives the command's status."""
    with open(report or os.devnull, "w", encoding="utf-8") as out:
        def say(text):
            print(text, end="", flush=True)
            out.write(text)

        say(header(command, lines))
        with subprocess.Popen(command, stdout=None if body else subprocess.PIPE,
                              text=True) as proc:
            for line in proc.stdout or ():
                say(line)
        if body and os.path.exists(body):  # a failing run's too: it says what failed
            with open(body, encoding="utf-8") as f:
                out.write(f.read())
    return proc.returncode


if __name__ == "__main__":
    args, body = sys.argv[1:], None
    if args[:1] == ["--from"] and len(args) > 1:
        body, args = args[1], args[2:]
    if len(args) < 2 or args[0].startswith("--"):
        sys.exit(__doc__.splitlines()[-1])
    sys.exit(run(args[1:], args[0], body=body))
