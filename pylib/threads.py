"""The threads of a running process, as /proc tells them."""
import os


def tasks(pid):
    """Each thread's /proc folder; a thread that ends meanwhile is left out."""
    try:
        return [f"/proc/{pid}/task/{task}" for task in os.listdir(f"/proc/{pid}/task")]
    except FileNotFoundError:
        return []


def read(path):
    """A /proc file's text, or nothing once its thread has ended."""
    try:
        with open(path) as f:
            return f.read()
    except (FileNotFoundError, ProcessLookupError):
        return ""


def wakeups(pid):
    """How often a process's threads have gone to sleep, each to be woken
    again: their voluntary context switches."""
    total = 0
    for task in tasks(pid):
        for line in read(task + "/status").splitlines():
            if line.startswith("voluntary_ctxt_switches:"):
                total += int(line.split()[1])
    return total
