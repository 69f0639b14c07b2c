#!/usr/bin/env python3
"""Prints the size of the i686 stub.exe and what takes the room, from a link map.

    python3 scripts/size_report.py        (links a scratch build with a map in /tmp)
"""
import collections
import re
import subprocess
import sys
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
BUILD = Path("/tmp/stub-size-build")
MAP = BUILD / "stub.map"


def group(source):
    for needle, name in (("libstdc++", "libstdc++"), ("libgcc", "libgcc (unwinder)"), ("libz.a", "zlib"),
                         ("libwinpthread", "winpthread"), ("libstubwin", "stub code"), (".res", "resources")):
        if needle in source:
            return name
    if re.search(r"libmingw|libmsvcrt|crt\d|crtbegin|crtend", source):
        return "mingw runtime"
    return "other"


def main():
    subprocess.run(["cmake", "--preset", "win", "-B", str(BUILD), f"-DCMAKE_EXE_LINKER_FLAGS=-Wl,-Map={MAP}"],
                   cwd=REPO, check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", str(BUILD), "--target", "stub"], cwd=REPO, check=True,
                   stdout=subprocess.DEVNULL)
    sizes = collections.Counter()
    pending = None
    for line in MAP.read_text(errors="replace").splitlines():
        m = re.match(r"^ (\.\S+)\s*$", line)
        if m:
            pending = m.group(1)
            continue
        m = re.match(r"^ (\.\S+)?\s+0x[0-9a-f]+\s+0x([0-9a-f]+)\s+(\S.*)$", line)
        section = (m.group(1) or pending) if m else None
        pending = None
        if m and section and not section.startswith(".debug"):
            sizes[group(m.group(3))] += int(m.group(2), 16)
    print(f"stub.exe: {(BUILD / 'stub.exe').stat().st_size} bytes on disk")
    for name, size in sizes.most_common():
        print(f"{size:9d}  {name}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
