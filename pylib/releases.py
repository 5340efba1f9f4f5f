"""The supported Debian releases and their SDL 1.2 stacks, from releases.txt
(which says what each field holds), read as pylib/release.sh reads them
for the shell: the same fields, and a release the file does not know reads
as the newest."""
import platform
import sys
from pathlib import Path

TABLE = Path(__file__).resolve().parents[1] / "releases.txt"


def releases():
    """[{field: value}], oldest first; a field of "-" is None."""
    entries = []
    for paragraph in TABLE.read_text().split("\n\n"):
        if paragraph.strip() and not paragraph.startswith("#"):
            fields = dict(line.split(": ", 1) for line in paragraph.strip().splitlines())
            entries.append({k: None if v == "-" else v for k, v in fields.items()})
    return entries


def release(codename=None):
    """The entry of codename, by default this machine's release; one the file
    does not know reads as the newest, said on standard error."""
    codename = codename or platform.freedesktop_os_release().get("VERSION_CODENAME", "unknown")
    entries = releases()
    for entry in entries:
        if entry["codename"] == codename:
            return entry
    print(f"releases.py: Debian {codename} is not in releases.txt; "
          f"reading {entries[-1]['codename']}'s entry", file=sys.stderr)
    return entries[-1]

