"""weston's headless compositor with the pixman renderer, for the tests and
the benchmark: a Wayland session with no display."""
import os
import subprocess
import time


class Weston:
    """weston for the length of a with-block, its socket in runtime_dir (named
    for the process and name); --debug lets weston-screenshooter take the
    screen. Gives the socket's name, for WAYLAND_DISPLAY."""

    def __init__(self, runtime_dir, name=""):
        self.runtime_dir = runtime_dir
        self.socket = f"weston-{os.getpid()}{name}"

    def __enter__(self):
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        env["XDG_RUNTIME_DIR"] = self.runtime_dir
        self.server = subprocess.Popen(
            ["weston", "--backend=headless", "--renderer=pixman", "--debug", "--idle-time=0",
             f"--socket={self.socket}", "--width=1024", "--height=768"],
            env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 60
        while not os.path.exists(os.path.join(self.runtime_dir, self.socket)):
            if time.monotonic() > deadline or self.server.poll() is not None:
                self.server.kill()
                raise RuntimeError("weston did not start")
            time.sleep(0.05)
        return self.socket

    def __exit__(self, *_):
        self.server.terminate()
        self.server.wait(timeout=30)
