"""The threads of a running process, as /proc tells them."""
import os
import time
from collections import namedtuple

# When a look was taken, whether every thread was asleep, how long they ran and waited to run (ns).
Look = namedtuple("Look", "when asleep ran waited")


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


def activity(pid):
    """A look at a process (the scheduler's count, to the nanosecond, not
    clock ticks), or None once it is gone."""
    asleep, ran, waited, seen = True, 0, 0, False
    for task in tasks(pid):
        stat, schedstat = read(task + "/stat"), read(task + "/schedstat")
        if stat and schedstat:
            seen, task_ran, task_waited = True, *map(int, schedstat.split()[:2])
            asleep = asleep and stat.rsplit(")", 1)[1].split()[0] == "S"
            ran, waited = ran + task_ran, waited + task_waited
    return Look(time.monotonic_ns(), asleep, ran, waited) if seen else None


def doing(pid):
    """Each thread's name, state (S: asleep) and where it sleeps."""
    return ", ".join(f"{read(task + '/comm').strip()} "
                     f"{read(task + '/stat').rsplit(')', 1)[-1][1:2]} "
                     f"in {read(task + '/wchan')}" for task in tasks(pid))


def wakeups(pid):
    """How often each of a process's threads has gone to sleep, each to be
    woken again (its voluntary context switches), by thread id: one look,
    so that one thread's count and the whole process's agree."""
    counts = {}
    for task in tasks(pid):
        for line in read(task + "/status").splitlines():
            if line.startswith("voluntary_ctxt_switches:"):
                counts[int(os.path.basename(task))] = int(line.split()[1])
    return counts


def woken(before, after, tid=None):
    """The wake-ups between two looks of wakeups(): of every thread, or of
    the one tid names; those of a thread that ended between them are lost
    with it."""
    return sum(n - before.get(t, 0) for t, n in after.items() if tid in (None, t))
