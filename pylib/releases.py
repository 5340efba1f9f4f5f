"""The supported Debian releases and their SDL 1.2 stacks, from releases.txt
(which says what each field holds)."""
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
