#!/usr/bin/env python3
"""What blitshow brings in and holds on the SDL stack in effect (LD_LIBRARY_PATH
counts), under X on a private Xvfb server and, where the stack shows on
Wayland, in weston's headless compositor: the libraries the dynamic loader
initialised and the relocations it made (glibc's LD_DEBUG), the initialised
libraries with the most relocation entries (readelf -d), and, at the prompt,
blitshow's threads and its resident memory (/proc/PID/smaps) in a few named
groups of mappings. Each figure is the median of RUNS runs (5 unless given;
of an even number, the lower middle one); the memory is that of the run
whose total is the median.

Usage: blitshow_causes.py BLITSHOW_FOLDER [RUNS]
"""
import os
import re
import statistics
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from pylib import sdl_stack  # noqa: E402
from pylib.session import session  # noqa: E402

# The groups of mappings. A library counts in the group of the first of
# itself and the libraries it was loaded for (the dynamic loader's account)
# that the group names: libz3 with libLLVM, which needs it; GTK with libdecor.
LLVM = re.compile(r"/libLLVM[^/]*$")
MESA = re.compile(r"/(libGL|libGLX|libGLdispatch|libEGL|libGLES|libOSMesa|libglapi|libgbm"
                  r"|libgallium|libvulkan)[^/]*$|/dri/")
DECOR = re.compile(r"/libdecor[^/]*$")
SDL = re.compile(r"/libSDL[^/]*$")
# Files that are no library, by what maps them: Mesa's shader cache and the
# buffers it shares with the compositor; the fonts, icons and caches GTK
# reads, libdecor's buffers.
MESA_FILES = re.compile(r"mesa_shader_cache|^/memfd:mesa")
DECOR_FILES = re.compile(r"^/usr/share/(fonts|icons|mime|glib-2\.0|themes)/|/fontconfig/"
                         r"|/dconf/|^/memfd:libdecor")
GROUPS = [
    ("libLLVM", "libLLVM and what was loaded for it (libz3...)"),
    ("heap", "the heap, [heap]"),
    ("anon", "other anonymous mappings: malloc's large blocks and arenas, stacks, JIT code"),
    ("mesa_gl", "libGL, GLX, EGL, Mesa's drivers and what was loaded for them; Mesa's "
     "shader cache, buffers"),
    ("sdl", "the SDL libraries alone"),
    ("libdecor_gtk", "libdecor, its GTK plugin and what was loaded for them; fonts, icons, "
     "caches, buffers"),
    ("rest", "libc, X or Wayland client libraries, audio, the rest SDL loads, X shared "
     "memory"),
]
MAPPING = re.compile(r"[0-9a-f]+-[0-9a-f]+ \S+ \S+ \S+ \S+ *(.*)$")
TOP_LIBRARIES = 3  # the libraries listed by their relocation entries


def group_of(path, loaded_for):
    """The group of a mapping, given for each library the one it was loaded for."""
    if path == "[heap]":
        return "heap"
    if path == "" or path.startswith(("[stack", "[anon")):
        return "anon"
    if SDL.search(path):
        return "sdl"
    seen = set()
    library = path
    while library and library not in seen:
        for name, pattern in (("libLLVM", LLVM), ("mesa_gl", MESA), ("libdecor_gtk", DECOR)):
            if pattern.search(library):
                return name
        seen.add(library)
        library = loaded_for.get(library)
    if MESA_FILES.search(path):
        return "mesa_gl"
    if DECOR_FILES.search(path):
        return "libdecor_gtk"
    return "rest"


def mappings(pid):
    """[(path, resident KiB)] of each mapping of a process, from its smaps."""
    found = []
    with open(f"/proc/{pid}/smaps") as smaps:
        for line in smaps:
            mapping = MAPPING.match(line)
            if mapping:
                found.append([mapping[1], 0])
            elif line.startswith("Rss:"):
                found[-1][1] += int(line.split()[1])
    return found


def one_run(folder, env):
    """One run under the dynamic loader's account: the libraries initialised,
    the relocations, of them from the cache, and at the prompt the threads and
    the resident KiB by group."""
    with tempfile.TemporaryDirectory() as scratch:
        log = os.path.join(scratch, "ld")
        with subprocess.Popen(["./blitshow"], cwd=folder, stdin=subprocess.PIPE,
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                              env=dict(env, LD_DEBUG="statistics,libs,files",
                                       LD_DEBUG_OUTPUT=log)) as proc:
            if not proc.stdout.readline():
                proc.kill()
                sys.exit("blitshow ended before its prompt")
            threads = len(os.listdir(f"/proc/{proc.pid}/task"))
            held = mappings(proc.pid)
            proc.communicate(b"\n", timeout=60)
        if proc.returncode != 0:
            sys.exit(f"blitshow ended with status {proc.returncode}")
        with open(f"{log}.{proc.pid}") as f:
            text = f.read()
    libraries = list(dict.fromkeys(re.findall(r"calling init: (\S+)", text)))
    # Printed at exit, for the start and every dlopen since.
    final = re.findall(r"final number of relocations: (\d+)", text)
    cached = re.findall(r"final number of relocations from cache: (\d+)", text)
    if not libraries or not final or not cached:
        sys.exit("blitshow_causes.py: the dynamic loader gave no statistics (LD_DEBUG)")
    kib = dict.fromkeys((name for name, _ in GROUPS), 0)
    loaded_for = loaded_for_whom(text)
    for path, resident in held:
        kib[group_of(path, loaded_for)] += resident
    return libraries, int(final[-1]), int(cached[-1]), threads, kib


def loaded_for_whom(text):
    """{library: the library it was loaded for} from the dynamic loader's
    account, by real path, as smaps names them. A library found by name is
    the last file tried before its link map."""
    loaded_for, asked, tried = {}, {}, None
    for line in text.splitlines():
        if m := re.search(r"trying file=(\S+)", line):
            tried = m[1]
        elif m := re.search(r"file=(\S+) \[\d+\];\s+(?:needed|dynamically loaded) by (\S+) ",
                            line):
            asked[m[1]] = m[2]
        elif (m := re.search(r"file=(\S+) \[\d+\];\s+generating link map", line)) \
                and m[1] in asked:
            path = m[1] if "/" in m[1] else tried
            loaded_for[os.path.realpath(path)] = os.path.realpath(asked.pop(m[1]))
    return loaded_for


def relocation_entries(path):
    """(entries, of them relative) of a library's dynamic relocation tables,
    the relative relocations packed in a RELR table counted one by one."""
    dynamic = subprocess.run(["readelf", "-dW", path], capture_output=True, text=True,
                             check=True).stdout
    tags = {m[1]: int(m[2], 0) for m in re.finditer(r"\((\w+)\)\s+(0x[0-9a-f]+|\d+)", dynamic)}
    size = tags.get("RELAENT") or tags.get("RELENT") or 1
    entries = (tags.get("RELASZ", 0) + tags.get("RELSZ", 0) + tags.get("PLTRELSZ", 0)) // size
    relative = tags.get("RELACOUNT", 0) + tags.get("RELCOUNT", 0)
    if "RELR" in tags:
        packed = relr_locations(path, tags["RELR"], tags["RELRSZ"], tags.get("RELRENT", 8))
        entries, relative = entries + packed, relative + packed
    return entries, relative


def relr_locations(path, address, size, word):
    """The places a RELR table relocates: each even word one, each odd word
    one for each bit set above the lowest."""
    segments = subprocess.run(["readelf", "-lW", path], capture_output=True, text=True,
                              check=True).stdout
    with open(path, "rb") as f:
        little = f.read(6)[5] == 1  # EI_DATA
        for m in re.finditer(r"LOAD\s+(0x[0-9a-f]+)\s+(0x[0-9a-f]+)\s+\S+\s+(0x[0-9a-f]+)",
                             segments):
            offset, start, length = (int(v, 16) for v in m.groups())
            if start <= address < start + length:
                f.seek(offset + address - start)
                table = f.read(size)
                break
        else:
            sys.exit(f"blitshow_causes.py: {path}: its RELR table is in no segment")
    words = (int.from_bytes(table[i:i + word], "little" if little else "big")
             for i in range(0, len(table), word))
    return sum(bin(w).count("1") - 1 if w & 1 else 1 for w in words)


def measure(folder, runs, env):
    """The figures of one session, from runs runs."""
    found = [one_run(folder, env) for _ in range(runs)]
    by_total = sorted(found, key=lambda run: sum(run[4].values()))
    return {"libraries": statistics.median_low(len(run[0]) for run in found),
            "relocations": statistics.median_low(run[1] for run in found),
            "cached": statistics.median_low(run[2] for run in found),
            "threads": statistics.median_low(run[3] for run in found),
            "memory": by_total[(runs - 1) // 2][4],
            "largest": sorted(((*relocation_entries(p), p) for p in found[0][0]),
                              reverse=True)[:TOP_LIBRARIES]}


def main():
    if not 2 <= len(sys.argv) <= 3 or not all(a.isdigit() and int(a) > 0 for a in sys.argv[2:]):
        sys.exit("usage: blitshow_causes.py BLITSHOW_FOLDER [RUNS]")
    folder = os.path.abspath(sys.argv[1])
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    sessions = sdl_stack.sessions()
    with tempfile.TemporaryDirectory(prefix="xdg-runtime-") as runtime_dir:
        found = {}
        for name in sessions:
            with session(name, runtime_dir) as (env, _):
                found[name] = measure(folder, runs, env)

    print(f"blitshow, {runs} runs in each session under the dynamic loader's account "
          "(LD_DEBUG=statistics,libs,files);\neach figure the median of the runs\n")
    print("the libraries the dynamic loader initialised (\"calling init\"), the relocations "
          "it made from the\nstart to the end (\"final number of relocations\"; of them "
          "from its cache); the threads at the prompt")
    print(f"{'session':<8} {'libraries':>9} {'relocations':>11} {'from_cache':>10} "
          f"{'threads':>7}")
    for name in sessions:
        f = found[name]
        print(f"{name:<8} {f['libraries']:>9} {f['relocations']:>11} "
              f"{f['cached']:>10} {f['threads']:>7}")

    print(f"\nthe {TOP_LIBRARIES} libraries initialised with the most dynamic relocations "
          "(readelf: RELA, REL, JMPREL and\nRELR tables; relative among them), and their "
          "files' size")
    print(f"{'session':<8} {'library':<32} {'file_MiB':>8} {'entries':>8} {'relative':>8}")
    for name in sessions:
        for entries, relative, path in found[name]["largest"]:
            print(f"{name:<8} {os.path.basename(path):<32} "
                  f"{os.path.getsize(path) / 2**20:>8.1f} {entries:>8} {relative:>8}")

    print("\nresident memory at the prompt in MiB (Rss in /proc/PID/smaps) of the run whose "
          "total is the median,\nby group of mappings; a library counts in the group of the "
          "first of itself and the libraries\nit was loaded for that the group names:")
    for name, says in GROUPS:
        print(f"  {name:<13} {says}")
    names = [name for name, _ in GROUPS]
    print(f"{'session':<8} " + " ".join(f"{n:>{max(7, len(n))}}" for n in names + ["total"]))
    for name in sessions:
        kib = found[name]["memory"]
        values = [kib[n] for n in names] + [sum(kib.values())]
        print(f"{name:<8} " + " ".join(f"{v / 1024:>{max(7, len(n))}.1f}"
                                       for n, v in zip(names + ["total"], values)), flush=True)


if __name__ == "__main__":
    main()
