"""Extraction under Wine: extractdemo runs ExtractPackage on packages made by mkpkg (and
damaged or split here), with a progress callback that prints every call; the disk prompt and
the error boxes are answered through the message-box helper."""
import os
import re
import struct
import time

import pytest

import msgbox
import pkgbytes
from conftest import save_screenshot, win_path

DATE = 0x5A8C6000  # 2025-04-12 12:00:00
NEW = "1 0 1 0"    # one step of the file progress


def dos_to_epoch(value):
    d, t = value >> 16, value & 0xFFFF
    return time.mktime((1980 + (d >> 9), (d >> 5) & 15, d & 31, t >> 11, (t >> 5) & 63, (t & 31) * 2, 0, 0, -1))


class Result:
    def __init__(self, out):
        self.out = out
        self.progress = [l[len("progress "):] for l in out.splitlines() if l.startswith("progress ")]

    def last(self, key):
        values = re.findall(r"^%s ?(.*)$" % key, self.out, re.M)
        assert values, self.out
        return values[-1]

    @property
    def outcome(self):
        return self.last("outcome")

    @property
    def mainfile(self):
        return self.last("mainfile")

    @property
    def checksum(self):
        return self.last("checksum")


class Demo:
    """A running extractdemo."""

    def __init__(self, wine, package, dest, *args):
        self.wine = wine
        self.proc = wine.start(wine.tool("extractdemo"), win_path(package), win_path(dest), *args)
        first = self.proc.stdout.readline().split()
        assert first[:1] == ["pid"], f"extractdemo did not start: {first} {self.proc.stderr.read()}"
        self.pid = int(first[1])

    def box(self, timeout=20):
        return msgbox.wait(self.wine, timeout=timeout, pid=self.pid)

    def finish(self, timeout=60):
        out, err = self.proc.communicate(timeout=timeout)
        assert self.proc.returncode == 0, err
        return Result(out)


@pytest.fixture
def demo(wine):
    started = []

    def start(package, dest, *args):
        d = Demo(wine, package, dest, *args)
        started.append(d)
        return d
    yield start
    for d in started:
        if d.proc.poll() is None:
            d.proc.kill()
            d.proc.wait()


@pytest.fixture
def extract(demo):
    """Extraction that must end without showing any box."""
    def run(package, dest, *args):
        return demo(package, dest, *args).finish(timeout=60)
    return run


def sources(folder, files):
    """Writes the files (relative path -> bytes) under folder/src and returns --file options."""
    options = []
    for i, (rel, data) in enumerate(files.items()):
        src = folder / "src" / str(i)
        src.parent.mkdir(parents=True, exist_ok=True)
        src.write_bytes(data)
        options += ["--file", f"{rel}={src}"]
    return options


def test_ordinary_package(workdir, mkpkg, extract, debug):
    files = {
        "Engine.exe": b"MZ engine " * 100,
        "docs\\readme.txt": b"hello",
        "data\\deep\\big.txt": b"".join(b"line %d of a text\r\n" % i for i in range(150000)),
        "random.bin": os.urandom(300000),
    }
    package = mkpkg(workdir / "setup.exe", *sources(workdir, files), "--main", "Engine.exe", "--main-args", "/X=1",
                    "--date", DATE, "--lang", "English|s0=Title")
    out = workdir / "out"
    r = extract(package, out)
    assert (r.outcome, r.checksum, r.mainfile) == ("Completed", "TRUE", "Engine.exe*/X=1")
    for rel, data in files.items():
        path = out.joinpath(*rel.split("\\"))
        assert path.read_bytes() == data, rel
        assert abs(path.stat().st_mtime - dos_to_epoch(DATE)) <= 2, rel
    assert r.progress == ["0 0 1 0", "0 4 1 0"] + [NEW] * 4
    lines = debug.lines()
    assert "FileInfo.FilesCount=4" in lines
    assert f"FileLen={package.stat().st_size}" in lines
    assert any(re.fullmatch(r"UnCompressTime: \d+ MS", l) for l in lines), lines


def test_files_there_before_are_replaced_not_written_through(workdir, mkpkg, extract):
    # A file planted in the folder keeps none of its bytes, and a planted hard link is
    # replaced itself: the file it shares stays as it was. Neither counts a progress step, as
    # files that were there.
    package = mkpkg(workdir / "setup.exe", *sources(workdir, {"Engine.exe": b"MZnew", "hard.txt": b"H",
                                                              "b.txt": b"B"}),
                    "--main", "Engine.exe")
    out = workdir / "out"
    out.mkdir()
    victim = workdir / "victim.txt"
    victim.write_bytes(b"keep me")
    (out / "Engine.exe").write_bytes(b"planted-")
    os.link(victim, out / "hard.txt")
    r = extract(package, out)
    assert r.outcome == "Completed"
    assert [(out / n).read_bytes() for n in ("Engine.exe", "hard.txt", "b.txt")] == [b"MZnew", b"H", b"B"]
    assert (out / "hard.txt").stat().st_nlink == 1
    assert victim.read_bytes() == b"keep me"
    assert r.progress == ["0 0 1 0", "0 3 1 0", NEW]


def make_split(workdir, mkpkg, present=(2, 3)):
    """setup.exe + setup.exe.002 + setup.exe.003; split.bin runs from disk 1 into disk 2."""
    half1, half2 = os.urandom(40000), b"y" * 30000
    first = mkpkg(workdir / "setup.exe", *sources(workdir, {"a.txt": b"A", "split.bin": half1}), "--more-disks",
                  "--date", DATE)
    data = first.read_bytes()
    assert pkgbytes.checksum(data) == pkgbytes.u32(data, pkgbytes.trailer_at(data) + 16)
    first.write_bytes(pkgbytes.set_files_count(data, 5))
    disks = {
        2: pkgbytes.later_disk(pkgbytes.record(pkgbytes.file_content("split.bin", half2, DATE))
                               + pkgbytes.record(pkgbytes.file_content("b.txt", b"B"), compressed=False), True),
        3: pkgbytes.later_disk(pkgbytes.record(pkgbytes.file_content("Engine.exe", b"E", main=True, args="/L=1"))
                               + pkgbytes.record(pkgbytes.file_content("c.txt", b"C")), False),
    }
    for n in present:
        (workdir / f"setup.exe.{n:03d}").write_bytes(disks[n])
    return first, disks, half1 + half2


SPLIT_PROGRESS = ["0 0 1 0", "0 5 1 0", NEW, NEW, NEW, NEW, NEW, NEW, NEW]


def test_split_package_all_disks_present(workdir, mkpkg, extract):
    package, _, split = make_split(workdir, mkpkg)
    out = workdir / "out"
    r = extract(package, out)
    assert (r.outcome, r.checksum, r.mainfile) == ("Completed", "TRUE", "Engine.exe*/L=1")
    assert (out / "split.bin").read_bytes() == split
    assert [(out / n).read_bytes() for n in ("a.txt", "b.txt", "c.txt", "Engine.exe")] == [b"A", b"B", b"C", b"E"]
    assert r.progress == SPLIT_PROGRESS


def test_split_package_third_disk_after_the_prompt(workdir, mkpkg, demo):
    package, disks, split = make_split(workdir, mkpkg, present=(2,))
    out = workdir / "out"
    d = demo(package, out, "--caption", "Insert Disk")
    box = d.box()
    assert box.caption == "Insert Disk"
    assert "DISK #3" in box.text and "<DISK_NUM>" not in box.text
    assert box.button_texts() == ["&OK", "&Cancel"]
    save_screenshot("extract_disk_prompt")
    (workdir / "setup.exe.003").write_bytes(disks[3])
    box.press("OK")
    r = d.finish()
    assert (r.outcome, r.checksum, r.mainfile) == ("Completed", "TRUE", "Engine.exe*/L=1")
    assert (out / "split.bin").read_bytes() == split
    assert (out / "c.txt").read_bytes() == b"C"
    assert r.progress == SPLIT_PROGRESS


def test_split_package_prompt_cancelled(workdir, mkpkg, demo):
    package, _, _ = make_split(workdir, mkpkg, present=(2,))
    out = workdir / "out"
    d = demo(package, out)
    d.box().press("Cancel")
    r = d.finish()
    assert (r.outcome, r.checksum, r.mainfile) == ("Cancelled", "TRUE", "")
    assert (out / "b.txt").read_bytes() == b"B"  # what was extracted stays
    assert not (out / "c.txt").exists()
    assert r.progress[-1] == NEW


def damage_checksum(data, recs):
    data = bytearray(data)
    data[recs[2][0] + 20] ^= 0x01
    return data  # not sealed again


def damage_compressed(data, recs):
    data = bytearray(data)
    at, length = recs[3]
    data[at + 4 + length - 1] ^= 0x01  # the record's Adler-32
    return pkgbytes.reseal(data)


def damage_length(data, recs):
    data = bytearray(data)
    struct.pack_into("<i", data, recs[3][0], 0x7FFFFF00)
    return pkgbytes.reseal(data)


@pytest.mark.parametrize("damage, outcome, box_text", [
    (damage_checksum, "BadChecksum", None),
    (damage_compressed, "DecompressFailed", "Unable to decompress Setup Data!zlib: data error"),
    (damage_length, "DamagedDisk", "Damaged Setup File!A record runs past the end of the file."),
], ids=["checksum", "compressed-record", "record-past-the-end"])
def test_damaged_package(workdir, mkpkg, demo, damage, outcome, box_text):
    files = {"Engine.exe": b"E" * 5000, "a.txt": b"a" * 9000, "z.txt": b"Z"}
    package = mkpkg(workdir / "setup.exe", *sources(workdir, files), "--main", "Engine.exe", "--make-agent-copy",
                    "--agent-file", "Agent.exe")
    data = package.read_bytes()
    package.write_bytes(damage(data, pkgbytes.records(data)))
    out = workdir / "out"
    d = demo(package, out, "--agent", "Agent.exe")
    if box_text:
        box = d.box()
        assert box.caption == "Error"
        assert box_text in box.text.replace("\r", "").replace("\n", ""), box.text
        assert win_path(package) in box.text
        save_screenshot(f"extract_{outcome}")
        box.press("OK")
    r = d.finish()
    assert r.outcome == outcome
    assert r.mainfile == ""
    assert r.checksum == ("FALSE" if outcome == "BadChecksum" else "TRUE")
    assert not (out / "z.txt").exists() and not (out / "Agent.exe").exists()
    assert not (out / "a.txt").exists()  # never a byte of a record that failed


def test_hostile_paths_are_never_written(workdir, mkpkg, demo, debug):
    absolute = workdir / "absolute.txt"
    hostile = ["..\\outside.txt", "sub\\..\\..\\climb.txt", win_path(absolute), "\\rooted_stub_test.txt",
               "sub/../../slash.txt"]
    files = {rel: b"bad" for rel in hostile}
    files["good.txt"] = b"good"
    package = mkpkg(workdir / "setup.exe", *sources(workdir, files), "--main", hostile[0])
    out = workdir / "out"
    d = demo(package, out, "--repeat", "2")
    box = d.box()
    assert "Unable to save Extracted File!" in box.text
    box.press("OK")
    r = d.finish()
    # One box for the process: the second extraction counts on without showing another.
    assert r.last("savefailures") == str(2 * len(hostile))
    assert r.mainfile == "" and r.outcome == "Completed"
    assert (out / "good.txt").read_bytes() == b"goodgood"  # the second run extends it
    assert [p.name for p in workdir.rglob("*.txt")] == ["good.txt"]
    assert not os.path.exists("/rooted_stub_test.txt")
    assert any(l.startswith('Unsafe path refused: "..\\outside.txt"') for l in debug.lines())


def test_a_failed_save_ends_the_extraction_with_one_box_per_process(workdir, mkpkg, demo):
    package = mkpkg(workdir / "setup.exe", *sources(workdir, {"locked.txt": b"1234", "b.txt": b"B"}),
                    "--main", "b.txt")
    out = workdir / "out"
    out.mkdir()
    # A folder where the file should go: the save fails even for a user who may write anywhere.
    locked = out / "locked.txt"
    (locked / "inner").mkdir(parents=True)
    d = demo(package, out, "--repeat", "2")
    box = d.box()
    text = box.text.replace("\r\n", "|")
    assert win_path(locked) + "||Unable to save Extracted File!||" in text, text
    assert re.search(r"Data Size:\s+4 Bytes\|\s+File Size:\s+0 Bytes\|\s+Bytes Free:\s+\d+ Bytes", text), text
    box.press("OK")
    r = d.finish()
    assert r.last("savefailures") == "2"  # both runs failed; the second showed no box
    assert (r.outcome, r.mainfile) == ("WriteFailed", "")
    assert not (out / "b.txt").exists()  # nothing after the file that failed
    assert [p.name for p in locked.iterdir()] == ["inner"]


def test_agent_copy(workdir, mkpkg, extract):
    options = [*sources(workdir, {"Engine.exe": b"E"}), "--main", "Engine.exe", "--make-agent-copy", "--agent-file",
               "Agent.exe", "--log"]
    package = mkpkg(workdir / "setup.exe", *options)
    expected = mkpkg(workdir / "expected.exe", *options, "--agent-copy").read_bytes()
    stamp = time.mktime((2020, 1, 2, 3, 4, 6, 0, 0, -1))
    os.utime(package, (stamp, stamp))
    out = workdir / "out"
    r = extract(package, out, "--agent", "C:\\elsewhere\\Agent.exe")
    assert r.outcome == "Completed"
    copy = (out / "Agent.exe").read_bytes()
    assert copy == expected
    assert copy[252:256] == b"\0\0\0\0"
    assert copy[-5] == 1  # AgentCopy
    assert struct.unpack_from("<I", copy, len(copy) - 4)[0] == 74
    assert abs((out / "Agent.exe").stat().st_mtime - stamp) <= 2
