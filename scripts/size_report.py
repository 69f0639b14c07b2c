#!/usr/bin/env python3
"""Prints the size of the i686 stub.exe and what takes the room, from a link map.

    python3 scripts/size_report.py               (links build/size/stub.exe with a map)
    python3 scripts/size_report.py --objects 25  (also the 25 largest input files)

The limit the tests hold stub.exe to is in tests/e2e/test_stub_exe_layout.py.
"""
import argparse
import collections
import os
import re
import subprocess
import sys
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
BUILD = REPO / "build" / "size"
MAP = BUILD / "stub.map"

# Import libraries hold one member per imported function, and a head and a tail per DLL:
# libkernel32.a(libkernel32s01234.o), libmsvcrt.a(libmsvcrt_defh.o).
IMPORT_MEMBER = re.compile(r"lib(\w+)\.a\(lib\1(_def)?[sht]\d*\.o\)$")


def group(source):
    if source.endswith(".res"):
        return "resources"
    if "libstubwin" in source or "CMakeFiles/stub.dir" in source:
        return "stub code"
    if IMPORT_MEMBER.search(source):
        return "imports"
    for needle, name in (("libstdc++", "libstdc++"), ("libsupc++", "libstdc++"), ("libgcc_eh", "libgcc (unwinder)"),
                         ("libgcc", "libgcc (helpers)"), ("libz.a", "zlib"), ("libstubinflate", "zlib"), ("libpthread", "winpthread"),
                         ("libwinpthread", "winpthread")):
        if needle in source:
            return name
    if re.search(r"libmingw|libmsvcrt|crt\d|crtbegin|crtend", source):
        return "mingw runtime"
    if source == "dll stuff":
        return "base relocations"
    return "other"


def input_sections(map_text):
    """(output section, input section, size, source) for every input section of the map."""
    start = map_text.find("Linker script and memory map")
    output = None
    pending = None
    for line in map_text[start:].splitlines():
        m = re.match(r"^(\.[\w$.]+)\s+0x[0-9a-f]+\s+0x[0-9a-f]+", line)
        if m:
            output = m.group(1)
            continue
        m = re.match(r"^ (\.\S+)\s*$", line)
        if m:
            pending = m.group(1)
            continue
        m = re.match(r"^ (\.\S+)?\s+0x[0-9a-f]+\s+0x([0-9a-f]+)\s+(\S.*)$", line)
        if m and output and not output.startswith(".debug"):
            yield output, m.group(1) or pending, int(m.group(2), 16), m.group(3).strip()
        pending = None


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--objects", type=int, default=0, metavar="N", help="also list the N largest input files")
    args = parser.parse_args()
    subprocess.run(["cmake", "--preset", "win", "-B", str(BUILD), f"-DCMAKE_EXE_LINKER_FLAGS=-Wl,-Map={MAP}"],
                   cwd=REPO, check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", str(BUILD), "--target", "stub"], cwd=REPO, check=True,
                   stdout=subprocess.DEVNULL)
    groups = collections.Counter()
    sections = collections.Counter()
    objects = collections.Counter()
    for output, _, size, source in input_sections(MAP.read_text(errors="replace")):
        groups[group(source)] += size
        sections[output] += size
        objects[source] += size
    on_disk = (BUILD / "stub.exe").stat().st_size
    print(f"stub.exe (i686): {on_disk} bytes on disk")
    for name, size in groups.most_common():
        print(f"{size:9d}  {name}")
    print(f"{on_disk - sum(groups.values()):9d}  headers and section padding")
    print("by section: " + ", ".join(f"{name} {size}" for name, size in sections.most_common()))
    if args.objects:
        print(f"largest {args.objects} input files:")
        for source, size in objects.most_common(args.objects):
            path, member = re.match(r"([^(]*)(.*)", source).groups()
            print(f"{size:9d}  {os.path.normpath(path) if path.startswith('/') else path}{member}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
