"""Runs the real programs for the tests, with generous time limits."""
import atexit
import contextlib
import functools
import operator
import os
import re
import select
import shlex
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import unittest
from collections import namedtuple

from pylib import sdl_stack
from pylib.session import session
from pylib.threads import activity, doing

TIMEOUT = 60  # seconds: only a hang gets anywhere near this
# Seconds between two looks that find a window unchanged, or a program idle:
# it has settled, and waiting longer shows nothing new.
SETTLE = 0.5
NEVER_SETTLES = 20  # seconds: what still changes then is given up on

# The programs' own lines, as they print them.
DELAY_PROMPT = "Introduzca el tiempo que desea esperar (ms): ".encode()
DELAY_REFUSED = ("Entrada no válida: introduzca un número entero de milisegundos "
                 "entre 0 y 2147483647\n").encode()
DELAY_RESULT = re.compile(rb"Referencia INICIAL: (-?\d+)\nReferencia FIN: (-?\d+)\n"
                          rb"Ha esperado (-?\d+) ms\nSe ha producido un error de (-?\d+) ms\n")
ENTER_PROMPT = b"Pulse ENTER para continuar... \n"

Ran = namedtuple("Ran", "returncode stdout stderr peak_kib")


# Cross-built programs run through qemu-user; ctest hands over its command.
EMULATOR = shlex.split(os.environ.get("EMULATOR", ""))
OURS = set()  # the programs that popen puts the emulator in front of
# Ours that sleep for their input alone: once it is all given, one asleep has hung.
WAIT_FOR_INPUT = set()


def program(name):
    """Path of a built program, handed over by ctest in the environment."""
    path = os.environ.get(name.upper())
    if not path:
        raise unittest.SkipTest(f"{name.upper()} is not set: run through ctest")
    OURS.add(path)
    if name in ("blitshow", "delay_test"):
        WAIT_FOR_INPUT.add(path)
    return path


def popen(args, env, **options):
    """Starts a process: a program of ours through the emulator, if there is one.
    A library to preload must reach the program, not the emulator: the host's
    loader would refuse it on standard error."""
    env = dict(env)
    if EMULATOR and args[0] in OURS:
        preload = env.pop("LD_PRELOAD", None)
        args = EMULATOR + (["-E", "LD_PRELOAD=" + preload] if preload else []) + list(args)
    return subprocess.Popen(args, env=env, **options)


# A desktop session's private runtime folder; without one SDL3 complains on
# stderr. mkdtemp makes it 0700, as a session's is.
RUNTIME_DIR = tempfile.mkdtemp(prefix="xdg-runtime-")
atexit.register(shutil.rmtree, RUNTIME_DIR, ignore_errors=True)


@functools.cache
def native_byte_order():
    """Whether our programs have this machine's byte order, the X server's:
    not when emulated in the other one."""
    with open(program("blitshow"), "rb") as elf:
        return elf.read(6)[5] == {"little": 1, "big": 2}[sys.byteorder]  # ELF's EI_DATA


def sessions():
    """The sessions our programs show in here (sdl_stack.sessions()). Wayland
    speaks the machine's byte order: programs emulated in the other can't
    speak it to the machine's compositor, and hang."""
    return [kind for kind in sdl_stack.sessions() if kind == "X" or native_byte_order()]


def need_wayland():
    """Skips a class of Wayland cases where our programs don't show on it."""
    if "Wayland" not in sessions():
        raise unittest.SkipTest(f"{sdl_stack.describe()} does not show on Wayland here, or weston "
                                "is not installed, or the programs have the other byte order")


def desktop(kind):
    """A session for a with-block (pylib/session.py). Programs emulated in the
    other byte order meet an X server as one elsewhere, with no shared memory:
    blitshow refuses one that shares it, and a case of its own sees to that."""
    return session(kind, RUNTIME_DIR, shared_memory=native_byte_order())


def sdl_env(**extra):
    """Environment for a run on SDL's dummy video driver, with no display."""
    env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
    env["SDL_VIDEODRIVER"] = "dummy"
    env["XDG_RUNTIME_DIR"] = RUNTIME_DIR
    env.update(extra)
    return env


def run(args, stdin=b"", env=None, cwd=None, closed=(), timeout=TIMEOUT):
    """Runs a program to its end, or kills it after timeout seconds, stdin on
    its standard input (None: none open at all), with the descriptors in
    closed not open. Gives its status (minus the signal that ended it, if one
    did), stdout, stderr and peak memory in KiB."""
    closed = tuple(closed) + ((0,) if stdin is None else ())

    def close():
        for fd in closed:
            os.close(fd)

    with tempfile.TemporaryFile() as given, tempfile.TemporaryFile() as out, \
            tempfile.TemporaryFile() as err:
        given.write(stdin or b"")
        given.seek(0)
        proc = popen(args, env or sdl_env(), stdin=given, stdout=out, stderr=err, cwd=cwd,
                     preexec_fn=close)
        try:
            with to_the_end(proc, args, timeout):
                os.waitid(os.P_PID, proc.pid, os.WEXITED | os.WNOWAIT)
        finally:
            # Reaped here rather than by Popen, to get the child's own peak memory.
            _, status, usage = os.wait4(proc.pid, 0)
            proc.returncode = os.waitstatus_to_exitcode(status)
        out.seek(0)
        err.seek(0)
        return Ran(proc.returncode, out.read(), err.read(), usage.ru_maxrss)


@contextlib.contextmanager
def to_the_end(proc, args, timeout=TIMEOUT):
    """For a with-block that waits for proc (run as args, its input all given)
    to end: kills it after timeout seconds or, one of the programs that sleep
    for their input alone, once it settles asleep; the case then fails."""
    stop, hung = threading.Event(), []

    def watch():
        same = idle_between if WAIT_FOR_INPUT & set(args) else (lambda *_: False)
        last = settled(lambda: activity(proc.pid), lambda _: stop.is_set(), timeout, same,
                       stop.wait)
        if not stop.is_set():
            if last and last.asleep:
                hung.append(doing(proc.pid))
            proc.kill()

    watcher = threading.Thread(target=watch)
    watcher.start()
    try:
        yield
    finally:
        stop.set()
        watcher.join()
    if hung:
        raise AssertionError(f"asleep and not ended once its input was given: {hung[0]}")


def scratch_folder(picture=None):
    """A temporary working folder, with picture as Imagenes/ajuste.bmp if given."""
    folder = tempfile.TemporaryDirectory()
    if picture is not None:
        os.mkdir(os.path.join(folder.name, "Imagenes"))
        with open(os.path.join(folder.name, "Imagenes", "ajuste.bmp"), "wb") as out:
            out.write(picture)
    return folder


def read_line(stream, proc):
    """One line from a pipe, or what came before the process that writes it
    settled without writing more, or before the time ran out."""
    line, ended = bytearray(), []

    def look():
        seen = activity(proc.pid)
        # What it wrote before the look is in the pipe by now.
        while not line.endswith(b"\n") and not ended and select.select([stream], [], [], 0)[0]:
            byte = os.read(stream.fileno(), 1)
            if not byte:
                ended.append(True)
            line.extend(byte)
        return seen

    settled(look, lambda _: line.endswith(b"\n") or ended, TIMEOUT, idle_between,
            lambda pause: select.select([stream], [], [], pause))
    return bytes(line)


def idle_between(before, after):
    """Whether a process was asleep at two looks and between them ran, or
    waited to run, for under a tenth of the time: it sleeps until something
    comes, whether it wakes on a timer meanwhile or not."""
    busy = after.ran + after.waited - before.ran - before.waited
    return before.asleep and after.asleep and busy < (after.when - before.when) / 10


def settled(look, done, limit=NEVER_SETTLES, same=operator.eq, pause=time.sleep):
    """What look() gives once done(it) holds, or once it has settled on
    something else: the same in two looks SETTLE apart, or as same judges
    them; or after limit seconds, what never settles."""
    deadline = time.monotonic() + limit
    last = None
    while True:
        got = look()
        if done(got) or None not in (last, got) and same(last, got) or time.monotonic() > deadline:
            return got
        last = got
        pause(SETTLE)


def while_waiting(args, action, cwd=None, env=None, entry=b"", ignored=(), ending=b"\n"):
    """Starts a program with entry on its standard input and, once its first
    line is out, calls action(process), then gives it ending (by default
    ENTER) and the end of its input. The signals in ignored are ignored in
    the program, as a shell does for a background job. A program that
    settles without its line is not waited for longer. Gives the line,
    action's result and the ended run."""
    def ignore():
        for sig in ignored:
            signal.signal(sig, signal.SIG_IGN)

    with popen(args, env or sdl_env(), stdin=subprocess.PIPE, stdout=subprocess.PIPE,
               stderr=subprocess.PIPE, cwd=cwd, preexec_fn=ignore) as proc:
        try:
            proc.stdin.write(entry)
            proc.stdin.flush()
            line = read_line(proc.stdout, proc)
            seen = action(proc) if line else None
            with contextlib.suppress(BrokenPipeError):  # it may have ended
                proc.stdin.write(ending)
                proc.stdin.flush()
            with to_the_end(proc, args):
                out, err = proc.communicate()
        finally:
            proc.kill()
        return line, seen, Ran(proc.returncode, line + out, err, None)


def main():
    result = unittest.main(verbosity=2, exit=False).result
    # Every check skipped, or the class around them: ctest reports the test as
    # not run (SKIP_RETURN_CODE).
    skipped = {getattr(test, "test_case", test) for test, _ in result.skipped}
    skipped = {test for test in skipped if isinstance(test, unittest.TestCase)}
    if result.wasSuccessful() and result.skipped and len(skipped) == result.testsRun:
        sys.exit(77)
    sys.exit(not result.wasSuccessful())
