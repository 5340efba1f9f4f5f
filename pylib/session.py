"""A desktop session with no display, for the tests, the benchmark and the
tooling: a private Xvfb server, or weston's headless compositor with the
pixman renderer, and the environment of a program in it."""
import contextlib
import os
import subprocess
import time


def start_xvfb(env, shared_memory=True):
    """A private X server, and its display (empty if it did not start);
    without shared memory (MIT-SHM), it takes images as a server elsewhere does."""
    read, write = os.pipe()
    # -noreset: a client connecting while the server resets after its last
    # client left would fail now and then.
    options = [] if shared_memory else ["-extension", "MIT-SHM"]
    server = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write), "-screen", "0", "1024x768x24", "-noreset",
         "-nolisten", "tcp", *options], env=env, pass_fds=(write,), stderr=subprocess.DEVNULL)
    os.close(write)
    with os.fdopen(read) as numbers:
        number = numbers.readline().strip()
    return server, number and ":" + number


def start_weston(env):
    """weston, and its socket in the runtime folder (False if it did not
    start); --debug lets weston-screenshooter take the screen."""
    socket = f"weston-{os.getpid()}-{time.monotonic_ns()}"
    server = subprocess.Popen(
        ["weston", "--backend=headless", "--renderer=pixman", "--debug", "--idle-time=0",
         f"--socket={socket}", "--width=1024", "--height=768"],
        env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    path = os.path.join(env["XDG_RUNTIME_DIR"], socket)
    deadline = time.monotonic() + 60
    while not os.path.exists(path) and server.poll() is None and time.monotonic() < deadline:
        time.sleep(0.05)
    return server, os.path.exists(path) and socket


@contextlib.contextmanager
def session(kind, runtime_dir=None, shared_memory=True):
    """An "X" or a "Wayland" session for a with-block. Gives a program's
    environment in it (this process's with the session's display alone, SDL
    left to pick its driver, runtime_dir if given) and the server. An X
    server shares memory with its clients unless told otherwise."""
    env = {k: v for k, v in os.environ.items()
           if k not in ("DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER")}
    if runtime_dir is not None:
        env["XDG_RUNTIME_DIR"] = runtime_dir
    server, display = start_xvfb(env, shared_memory) if kind == "X" else start_weston(env)
    try:
        if not display:
            raise RuntimeError(f"{server.args[0]} did not start")
        env["DISPLAY" if kind == "X" else "WAYLAND_DISPLAY"] = display
        # No leak check (sanitized builds): a Wayland desktop's libraries keep
        # memory to the end, libdecor's GTK plugin unloaded before the check.
        if kind == "Wayland" and "ASAN_OPTIONS" in env:
            env["ASAN_OPTIONS"] += ":detect_leaks=0"
        yield env, server
    finally:
        server.terminate()
        server.wait(timeout=30)
