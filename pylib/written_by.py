"""Writes a report that says where it comes from: its first lines give the
command that wrote it, the machine (kind of processor, cores online, clock
source) and the load when the command began; then what the command prints,
or with --from, the file it leaves. The terminal sees it all as well. Every
report of the benchmarks, and fuzz-ci's summary, goes through here.

Usage: python3 -m pylib.written_by [--from FILE] REPORT COMMAND [ARG...]
"""
import os
import shlex
import subprocess
import sys

USAGE = "usage: python3 -m pylib.written_by [--from FILE] REPORT COMMAND [ARG...]"


def first_line(path, prefix=""):
    """The first line of a file that starts with prefix, less its "NAME: "."""
    with open(path, encoding="utf-8") as f:
        for line in f:
            if line.startswith(prefix):
                return line.split(": ", 1)[-1].strip() if prefix else line.strip()
    return "unknown"


def header(command, lines=()):
    """The report's first lines, and lines of the caller's after them."""
    with open("/proc/loadavg", encoding="utf-8") as f:
        load = " ".join(f.read().split()[:3])
    clock = first_line("/sys/devices/system/clocksource/clocksource0/current_clocksource")
    return (f"command: {shlex.join(command)}\n"
            f"machine: {first_line('/proc/cpuinfo', 'model name')}, "
            f"{os.sysconf('SC_NPROCESSORS_ONLN')} cores online, clocksource {clock}\n"
            f"load: {load}\n" + "".join(f"{line}\n" for line in lines) + "\n")


def run(command, report=None, lines=(), body=None):
    """Runs a command: the header, then its output or the file body, to the
    terminal and to the report if one is given. Gives the command's status."""
    with open(report or os.devnull, "w", encoding="utf-8") as out:
        def say(text):
            sys.stdout.write(text)
            sys.stdout.flush()
            out.write(text)

        say(header(command, lines))
        with subprocess.Popen(command, stdout=None if body else subprocess.PIPE,
                              text=True) as proc:
            for line in proc.stdout or ():
                say(line)
        if body and proc.returncode == 0:
            with open(body, encoding="utf-8") as f:
                out.write(f.read())
    return proc.returncode


def main():
    args = sys.argv[1:]
    body = None
    if args[:1] == ["--from"] and len(args) > 1:
        body, args = args[1], args[2:]
    if len(args) < 2 or args[0].startswith("--"):
        sys.exit(USAGE)
    sys.exit(run(args[1:], args[0], body=body))


if __name__ == "__main__":
    main()
