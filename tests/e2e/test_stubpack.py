"""stubpack, the package builder, from its command line: every package it writes passes an
independent reading of the layout (here and in pkgbytes.py, written from the layout's definition, not from the
C++ reader), and comes back out of `stubpack extract` (the stub's own extraction) unchanged.

STUBPACK names the binary (default build/native/tools/stubpack/stubpack) and STUB_EXE the stub
(default build/win/stub.exe or build/win64/stub.exe)."""
import hashlib
import json
import os
import random
import struct
import subprocess
import zlib
from pathlib import Path

import pytest

from pkgbytes import EXEMPT, MORE_DISKS, SIGNATURE, checksum, u32
from pkgbytes import TRAILER_SIZE as TRAILER

REPO = Path(__file__).resolve().parents[2]
STUBPACK = Path(os.environ.get("STUBPACK", REPO / "build" / "native" / "tools" / "stubpack" / "stubpack"))


def find_stub():
    if os.environ.get("STUB_EXE"):
        return Path(os.environ["STUB_EXE"])
    for build in ("win", "win64"):
        if (REPO / "build" / build / "stub.exe").is_file():
            return REPO / "build" / build / "stub.exe"
    return REPO / "build" / "win" / "stub.exe"


@pytest.fixture(scope="session")
def stubpack():
    if not STUBPACK.is_file():
        pytest.skip(f"{STUBPACK} is not built")

    def run(*args, cwd=None, check=True):
        result = subprocess.run([str(STUBPACK), *map(str, args)], cwd=cwd, capture_output=True, text=True,
                                errors="replace", timeout=120)
        if check:
            assert result.returncode == 0, result.stderr + result.stdout
        return result
    return run


@pytest.fixture(scope="session")
def stub_exe():
    stub = find_stub()
    if not stub.is_file():
        pytest.skip(f"{stub} is not built")
    return stub


# ---------------------------------------------------------------------------------------------
# The independent reading


def fields(text):
    """A field list: its first byte is the delimiter, which closes every field."""
    assert len(text) >= 2 and text[:1] == text[-1:], text
    return text[1:-1].split(text[:1])


def descramble(token):
    """A scrambled token's clear bytes; raises on a malformed one."""
    raw = bytes.fromhex(bytes((c - 50) & 0xFF for c in token).decode("ascii"))
    n = len(raw)
    assert n > 4
    assert sum(raw[i] for i in range(n) if i != n - 2) & 0xFF == raw[n - 2], "token checksum"
    data = bytearray(raw)
    key = data[0] ^ data[n - 1]
    for i in range(1, n - 1):
        data[i] ^= key
    lead, trail = data[1], data[2]
    assert lead + trail + 4 <= n
    return bytes(data[lead + 3:n - trail - 1])


def disk_names(first):
    base = str(first)[:-4] if str(first).lower().endswith(".001") else str(first)
    yield Path(first)
    n = 2
    while True:
        yield Path(f"{base}.{n:03d}")
        n += 1


def check_package(first, disk_size=None, stub=None):
    """Reads a package (set) as the layout defines it and asserts every rule of it. Returns
    the files (package path -> bytes), the program to launch and the lead records."""
    files, order, main = {}, [], None
    disks, trailers, lead = [], [], []
    for number, path in enumerate(disk_names(first), 1):
        data = path.read_bytes()
        disks.append(data)
        if disk_size:
            assert len(data) <= disk_size, f"{path} is larger than the disk size"
        is_pe = data[:2] == b"MZ" and data[256:258] == b"PE"
        if number == 1:
            assert is_pe, "the first file is the stub"
            logical = u32(data, 248) << 32 | u32(data, 252)
            assert 0 < logical <= len(data)
            end = logical
        else:
            assert not data.startswith(b"MZ"), "a later disk must not read as a program"
            end = len(data)
        t = data[end - TRAILER:end]
        trailers.append(t)
        assert t[0] == 1 and t[2:4] == bytes(2) and t[20:28] == bytes(8) and t[64] == 0
        assert u32(t, 12) == SIGNATURE
        assert u32(t, 70) == TRAILER
        assert t[65] & 0xE0 == 0
        assert t[1] in (2, 3) and t[1] == trailers[0][1]
        assert u32(t, 16) == checksum(data), f"checksum of {path}"
        position = u32(t, 4)
        if number == 1:
            if stub is not None:
                assert data[:position][:248] == stub[:248] and data[256:position] == stub[256:]
        else:
            assert position == 0
        count = 0
        while position < end - TRAILER:
            (length,) = struct.unpack_from("<i", data, position)
            body = data[position + 4:position + 4 + abs(length)]
            position += 4 + abs(length)
            assert position <= end - TRAILER, "a record runs into the trailer"
            count += 1
            if number == 1 and count <= t[1]:
                assert length == len(body)
                lead.append(body)
                continue
            if length == 0:
                continue  # an empty record: the extractor skips it
            if length > 0:
                inflater = zlib.decompressobj()
                content = inflater.decompress(body) + inflater.flush()
                assert inflater.eof and not inflater.unused_data, "one whole zlib stream"
            else:
                content = body
            header, zero, payload = content.partition(b"\0")
            assert zero and header
            path_field, date_field = fields(header)
            name, star, args = path_field.partition(b"*")
            if star:
                main = path_field.decode("latin-1")
            assert int(date_field) >= 0
            key = name.upper()
            if key not in files:
                files[key] = bytearray()
                order.append(name)
            files[key] += payload
        assert position == end - TRAILER, "the records end where the trailer begins"
        if not t[65] & MORE_DISKS:
            break
    for number, t in enumerate(trailers, 1):
        assert bool(t[65] & MORE_DISKS) == (number < len(trailers))
        assert u32(t, 8) == len(files) + len(disks) - 1, "FilesCount: files and disk changes"
        assert u32(t, 28) == sum(len(v) for v in files.values())
        for i in range(8):
            c = 512 << i
            assert u32(t, 32 + 4 * i) == sum((len(v) + c - 1) // c * c for v in files.values())
    result = {name.decode("cp1252"): bytes(files[name.upper()]) for name in order}
    return {"files": result, "main": main, "lead": lead, "disks": disks, "trailers": trailers}


def tree(folder):
    """The files under folder as the package names them."""
    return {str(p.relative_to(folder)).replace("/", "\\"): p.read_bytes()
            for p in sorted(Path(folder).rglob("*")) if p.is_file()}


# ---------------------------------------------------------------------------------------------
# Fixtures


def program_header(characteristics=0x0002):
    """The smallest start of a file that reads as a Windows program: "MZ", the header pointer
    at 0x3C, "PE\\0\\0" there and the COFF characteristics (0x0002 executable, 0x2000 DLL)."""
    data = bytearray(0x40 + 24)
    data[:2] = b"MZ"
    struct.pack_into("<I", data, 0x3C, 0x40)
    data[0x40:0x44] = b"PE\0\0"
    struct.pack_into("<H", data, 0x40 + 22, characteristics)
    return bytes(data)


@pytest.fixture(scope="module")
def payload(tmp_path_factory):
    root = tmp_path_factory.mktemp("payload")
    rng = random.Random(11)
    words = [b"setup ", b"engine ", b"record ", b"disk ", b"stub ", b"file ", b"the "]
    text = b"".join(rng.choice(words) for _ in range(200000))
    files = {
        "Engine.exe": program_header() + text[:4000],
        "docs/readme.txt": text[4000:40000],
        "docs/big.txt": text[:1100000],
        "data/noise.bin": rng.randbytes(300000),
        "data/zeros.bin": bytes(200000),
        "empty.txt": b"",
        "names/\u00e9t\u00e9 caf\u00e9.txt": b"accents",
    }
    for name, data in files.items():
        p = root / name
        p.parent.mkdir(parents=True, exist_ok=True)
        p.write_bytes(data)
    return root


LANG_INI = """; languages in file order
[English]
s0=Product Setup
Charset=0
FontSize=9
BtnText=|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|
s7=

[Deutsch]
s0=Produkt-Einrichtung f\u00fcr Sie
Charset=0

[Russian]
s0=\u0423\u0441\u0442\u0430\u043d\u043e\u0432\u043a\u0430
Charset=204
"""


def test_package_layout_round_trip_and_inspect(stubpack, stub_exe, payload, tmp_path):
    lang = tmp_path / "lang.ini"
    lang.write_text(LANG_INI, encoding="utf-8")
    out = tmp_path / "Setup.exe"
    stubpack("build", "--stub", stub_exe, "--out", out, "--main", "Engine.exe", "--main-args", "/L=1",
             "--lang", lang, "--update-url", "http://127.0.0.1/upd", "--info-file", "Product.setup.info",
             "--agent-file", "Agent.exe", "--token", "S3cret", "--hide", "--announce-temp", "--run-from-temp-copy",
             "--show-activity-bar", "--log", "--make-agent-copy", "--record-limit", "256K",
             "--date", "2024-02-29T13:14:16", payload)
    # A stub that relaunches from a temporary copy reads its package from Setup.exe.001.
    p = check_package(f"{out}.001", stub=stub_exe.read_bytes())
    assert p["files"] == tree(payload)
    assert p["main"] == "Engine.exe*/L=1"
    # The big text file comes in several records, each of at most 256 KiB of data.
    assert p["trailers"][0][65] == 1 | 4 | 8 | 16
    assert p["trailers"][0][66:70] == bytes([0, 0, 1, 0])
    language, settings = p["lead"]
    sections = [fields(s) for s in fields(language)]
    assert [s[0] for s in sections] == [b"English", b"Deutsch", b"Russian"]
    assert sections[0][1:] == [b"s0=Product Setup", b"Charset=0", b"FontSize=9",
                               b"BtnText=|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|", b"s7="]
    assert sections[1][1] == "s0=Produkt-Einrichtung f\u00fcr Sie".encode("cp1252")
    assert sections[2][1] == "s0=\u0423\u0441\u0442\u0430\u043d\u043e\u0432\u043a\u0430".encode("cp1251")
    url, info, agent, token, hide = fields(settings)
    assert (url, info, agent, hide) == (b"http://127.0.0.1/upd", b"Product.setup.info", b"Agent.exe", b"1")
    assert descramble(token) == b"S3cret"

    view = json.loads(stubpack("inspect", out, "--json").stdout)
    assert view["problems"] == [] and view["notes"] == []
    assert view["files"] == len(p["files"])
    assert view["main_file"] == "Engine.exe*/L=1"
    assert view["settings"]["token_clear"] == "S3cret"
    # Each section is shown from the code page of its Charset.
    assert view["languages"][2]["entries"][0] == "s0=\u0423\u0441\u0442\u0430\u043d\u043e\u0432\u043a\u0430"
    big = [r for r in view["disks"][0]["records"] if r.get("path") == "docs\\big.txt"]
    assert len(big) == 5 and all(r["data_size"] <= 256 * 1024 for r in big)
    assert {r["date_text"] for d in view["disks"] for r in d["records"] if "date_text" in r} == {"2024-02-29 13:14:16"}
    noise = [r for r in view["disks"][0]["records"] if r.get("path") == "data\\noise.bin"]
    assert noise[0]["kind"] == "stored"  # deflate would not make it smaller
    text = stubpack("inspect", out).stdout
    assert "layout ok" in text and "S3cret" in text
    # The content column of a file record is what it adds to the file, without its header.
    readme = "docs\\readme.txt"
    row = next(line.split() for line in text.splitlines() if line.endswith(readme))
    assert (row[1], row[3]) == ("zlib", f"{len(p['files'][readme]):,}")

    extracted = tmp_path / "x"
    result = stubpack("extract", out, extracted)
    assert "program to launch: Engine.exe*/L=1" in result.stdout
    assert {str(k.relative_to(extracted)): k.read_bytes() for k in extracted.rglob("*") if k.is_file()} == \
        {str(k.relative_to(payload)): k.read_bytes() for k in payload.rglob("*") if k.is_file()}


def test_builds_repeat_byte_for_byte(stubpack, stub_exe, payload, tmp_path):
    common = ["--stub", stub_exe, "--main", "Engine.exe", "--token", "T", "--date", "2020-01-01T00:00:00"]
    built = stubpack("build", "--out", tmp_path / "a.exe", "--jobs", "1", *common, payload)
    # The hash a vendor puts into the update description, printed under the file's line.
    digest = hashlib.sha256((tmp_path / "a.exe").read_bytes()).hexdigest()
    assert f"a.exe  {(tmp_path / 'a.exe').stat().st_size:,} bytes\n  SHA-256 {digest}\n" in built.stdout
    os.utime(payload / "empty.txt", (1, 1))  # --date stands for every file's own date
    stubpack("build", "--out", tmp_path / "b.exe", *common, payload)
    assert (tmp_path / "a.exe").read_bytes() == (tmp_path / "b.exe").read_bytes()
    # The same build from a config file, run from another folder: its paths count from the file.
    config_dir = tmp_path / "cfg"
    config_dir.mkdir()
    (config_dir / "stub.exe").write_bytes(stub_exe.read_bytes())
    (config_dir / "build.ini").write_text(
        "[build]\nstub = stub.exe\nout = ../c.exe\nmain = Engine.exe\ntoken = T\ndate = 2020-01-01T00:00:00\n"
        f"jobs = 1\nhide = false\ninput = {payload}\n")
    stubpack("build", "--config", config_dir / "build.ini", cwd="/")
    assert (tmp_path / "c.exe").read_bytes() == (tmp_path / "a.exe").read_bytes()
    # The command line wins over the file.
    stubpack("build", "--config", config_dir / "build.ini", "--token", "U", "--out", tmp_path / "d.exe")
    assert descramble(fields(check_package(tmp_path / "d.exe")["lead"][1])[3]) == b"U"


@pytest.mark.parametrize("extra, level", [(60000, "6"), (150000, "6"), (45000, "0")])
def test_split_sets(stubpack, stub_exe, payload, tmp_path, extra, level):
    size = len(stub_exe.read_bytes()) + extra
    out = tmp_path / "Setup.exe"
    stubpack("build", "--stub", stub_exe, "--out", out, "--disk-size", size, "--level", level,
             "--main", "Engine.exe", payload)
    p = check_package(out, disk_size=size)
    assert p["files"] == tree(payload)
    n = len(p["disks"])
    assert n >= 2
    names = sorted(x.name for x in tmp_path.iterdir() if x.name.startswith("Setup.exe"))
    assert names == ["Setup.exe"] + [f"Setup.exe.{i:03d}" for i in range(2, n + 1)]
    view = json.loads(stubpack("inspect", out, "--json").stdout)
    assert [d["path"] for d in view["disks"]] == [str(out)] + [f"{out}.{i:03d}" for i in range(2, n + 1)]
    assert view["problems"] == []
    extracted = tmp_path / "x"
    stubpack("extract", out, extracted)
    assert tree(extracted) == tree(payload)
    # A missing disk: the set cannot be read whole, and extract leaves no file cut short.
    (tmp_path / f"Setup.exe.{n:03d}").rename(tmp_path / "away")
    assert stubpack("inspect", out, check=False).returncode == 4
    r = stubpack("extract", out, tmp_path / "y", check=False)
    assert r.returncode == 4
    assert f"PROBLEM: Disk {n} missing: {out}.{n:03d}" in r.stdout
    assert not (tmp_path / "y").exists()


def test_relaunching_set_starts_with_a_launcher(stubpack, stub_exe, payload, tmp_path):
    """With --run-from-temp-copy the user starts Setup.exe, which the stub copies away and
    which reads its package from Setup.exe.001, .002 ...: the launcher is the stub, the lead
    records and a trailer of a package without files."""
    stub = stub_exe.read_bytes()
    size = len(stub) + 150000
    out = tmp_path / "Setup.exe"
    stubpack("build", "--stub", stub_exe, "--out", out, "--run-from-temp-copy", "--disk-size", size,
             "--main", "Engine.exe", payload)
    package = check_package(f"{out}.001", disk_size=size, stub=stub)
    assert package["files"] == tree(payload)
    n = len(package["disks"])
    names = sorted(x.name for x in tmp_path.iterdir() if x.name.startswith("Setup.exe"))
    assert names == ["Setup.exe"] + [f"Setup.exe.{i:03d}" for i in range(1, n + 1)]
    launcher = check_package(out, stub=stub)  # its own length, checksum and empty chain
    assert launcher["files"] == {} and launcher["lead"] == package["lead"]
    assert len(launcher["disks"][0]) == u32(package["trailers"][0], 4) + sum(4 + len(r) for r in package["lead"]) \
        + TRAILER
    assert launcher["trailers"][0][65] == 4  # RunFromTempCopy, no more disks
    # inspect and extract follow the stub to the set.
    view = json.loads(stubpack("inspect", out, "--json").stdout)
    assert [d["path"] for d in view["disks"]] == [f"{out}.{i:03d}" for i in range(1, n + 1)]
    assert view["problems"] == []
    assert "its package starts at" in stubpack("inspect", out).stdout
    stubpack("extract", out, tmp_path / "x")
    assert tree(tmp_path / "x") == tree(payload)


def test_download_stub_and_its_package(stubpack, stub_exe, payload, tmp_path):
    package = tmp_path / "Product-full.exe"
    stubpack("build", "--stub", stub_exe, "--out", package, "--download-token", "DLT", "--main", "Engine.exe",
             payload)
    full = check_package(package)
    assert descramble(fields(full["lead"][2])[3]) == b"DLT"
    stub = tmp_path / "Setup.exe"
    stubpack("build", "--stub", stub_exe, "--out", stub, "--internet", "--download-url", "http://127.0.0.1:1/dl",
             "--download-file", package, "--download-token", "DLT", "--no-local-copy", "--ask-before-download",
             "--agent-file", "Agent.exe", "--make-agent-copy")
    p = check_package(stub)
    assert p["files"] == {}
    t = p["trailers"][0]
    assert t[1] == 3 and t[66:69] == bytes([1, 1, 1])
    url, name, no_local, token, size = fields(p["lead"][2])
    assert (url, name, no_local, size) == (b"http://127.0.0.1:1/dl", b"Product-full.exe", b"1",
                                           str(package.stat().st_size).encode())
    assert descramble(token) == b"DLT"
    # A package file made with another token would be refused by the stub: so is the build,
    # and a size that is not the file's.
    internet = ["--stub", stub_exe, "--out", tmp_path / "bad.exe", "--internet", "--download-url", "u"]
    for args, code, message in [
        (["--download-file", package, "--download-token", "dlt"], 1, "another --download-token"),
        (["--download-file", package, "--download-token", "dlt", "--download-size", package.stat().st_size], 1,
         "another --download-token"),
        (["--download-file", package, "--download-token", "DLT", "--download-size", "7"], 1,
         f"but {package} has {package.stat().st_size} bytes"),
        (["--download-size", "7", "--download-token", "DLT"], 2, "--download-size needs --download-file"),
    ]:
        r = stubpack("build", *internet, *args, check=False)
        assert (r.returncode, message in r.stderr) == (code, True), (args, r.stderr)
    # Without the file at hand its name and the size given go in, with a warning.
    r = stubpack("build", *internet, "--download-file", "Later.exe", "--download-size", "123456",
                 "--download-token", "DLT")
    assert "Later.exe is not at hand" in r.stderr
    assert fields(check_package(tmp_path / "bad.exe")["lead"][2])[1::3] == [b"Later.exe", b"123456"]


def test_agent_copy_is_the_stub_and_its_lead_records(stubpack, stub_exe, payload, tmp_path):
    args = ["--stub", stub_exe, "--agent-file", "Agent.exe", "--log", "--update-url", "http://h/u", payload]
    stubpack("build", "--out", tmp_path / "full.exe", *args)
    stubpack("build", "--out", tmp_path / "Agent.exe", "--agent-copy", *args)
    full = (tmp_path / "full.exe").read_bytes()
    copy = (tmp_path / "Agent.exe").read_bytes()
    t = full[-TRAILER:]
    agent_length = u32(t, 4)
    for _ in range(t[1]):
        agent_length += 4 + u32(full, agent_length)
    expected_trailer = t[:69] + b"\x01" + t[70:]
    assert copy[:248] == full[:248] and copy[256:agent_length] == full[256:agent_length]
    assert copy[agent_length:] == expected_trailer
    # Its own length at 248/252, so the copy reads the same once it is signed.
    assert u32(copy, 248) == 0 and u32(copy, 252) == len(copy)


def test_errors_name_the_problem_and_its_kind(stubpack, stub_exe, payload, tmp_path):
    odd = tmp_path / "odd"
    odd.mkdir()
    bad_stub = tmp_path / "bad.exe"
    bad_stub.write_bytes(b"MZ" + bytes(1000))
    built = tmp_path / "built.exe"
    stubpack("build", "--stub", stub_exe, "--out", built, payload / "empty.txt")
    sparse = tmp_path / "sparse"
    sparse.mkdir()
    with open(sparse / "huge.bin", "wb") as f:
        f.truncate((4 << 30) + 1)
    dup = tmp_path / "dup"
    dup.mkdir()
    (dup / "A.txt").write_bytes(b"1")
    (dup / "a.txt").write_bytes(b"2")

    def named(name):
        d = tmp_path / f"n{abs(hash(name))}"
        d.mkdir(exist_ok=True)
        (d / name).write_bytes(b"x")
        return d

    out = ["--out", tmp_path / "o.exe"]
    cases = [
        # input errors: 1
        (["--stub", stub_exe, *out, tmp_path / "missing"], 1, "does not exist"),
        (["--stub", stub_exe, *out, named("a*b.txt")], 1, '"*"'),
        (["--stub", stub_exe, *out, named("\u65e5\u672c.txt")], 1, "code page 1252"),
        (["--stub", stub_exe, *out, named("con.txt")], 1, "not a name the stub may create"),
        (["--stub", stub_exe, *out, named("a:b")], 1, "not a name the stub may create"),
        (["--stub", stub_exe, *out, named("trailing.")], 1, "dot or a blank"),
        (["--stub", stub_exe, *out, "--main", "../Engine.exe", payload], 1, "--main"),
        (["--stub", stub_exe, *out, "--main", "Missing.exe", payload], 1, "not among the files"),
        (["--stub", stub_exe, *out, sparse], 1, "4294967295"),
        (["--stub", stub_exe, *out, dup], 1, "same file on Windows"),
        (["--stub", stub_exe, *out, "--disk-size", len(stub_exe.read_bytes()) + 50, payload], 1, "too small"),
        (["--stub", bad_stub, *out, payload], 1, '"PE" at 256'),
        (["--stub", built, *out, payload], 1, "already carries a package"),
        (["--stub", tmp_path / "nostub.exe", *out, payload], 1, "cannot read the stub"),
        (["--stub", stub_exe, *out, "--lang", tmp_path / "missing.ini", payload], 1, "language file"),
        # usage errors: 2
        (["--stub", stub_exe, *out, "--no-such-option", payload], 2, "no-such-option"),
        (["--stub", stub_exe, *out, "--level", "12", payload], 2, "--level"),
        (["--stub", stub_exe, *out, "--date", "2024-13-01T00:00:00", payload], 2, "--date"),
        (["--stub", stub_exe, *out, "--internet", "--download-url", "u"], 2, "--download-file"),
        (["--stub", stub_exe, *out, "--make-agent-copy", payload], 2, "--agent-file"),
        (["--stub", stub_exe, *out, "--agent-copy", "--disk-size", "1M", payload], 2, "--disk-size"),
        ([*out, payload], 2, "--stub"),
        # the output cannot be written: 3
        (["--stub", stub_exe, "--out", tmp_path / "no" / "such" / "o.exe", payload], 3,
         f"the folder {tmp_path / 'no' / 'such'} of --out does not exist"),
    ]
    for args, code, message in cases:
        r = stubpack("build", *args, check=False)
        assert (r.returncode, message in r.stderr) == (code, True), (args, r.stderr)
    assert not (tmp_path / "o.exe").exists()
    assert not list(tmp_path.glob("*.partial"))
    r = stubpack("build", "--stub", stub_exe, *out, "--codepage", "932", named("\u65e5\u672c.txt"), check=False)
    assert r.returncode == 0, r.stderr


def test_tokens_and_scrambled_text(stubpack, tmp_path):
    scrambled = stubpack("token", "scramble", "Tok en|1").stdout.strip()
    assert descramble(scrambled.encode()) == b"Tok en|1"
    assert stubpack("token", "descramble", scrambled).stdout.strip() == "Tok en|1"
    assert stubpack("token", "descramble", "bbbbbbbb", check=False).returncode == 1
    inform = tmp_path / "inform.txt"
    inform.write_bytes(b"x|" + scrambled.encode() + b"|a|b|<B>New version</B> is out|really")
    for extra in ([], ["--hex"]):
        stubpack("scramble-text", *extra, inform, "-o", tmp_path / "s")
        s = (tmp_path / "s").read_bytes()
        assert s.startswith(b"Scrambled=01" if not extra else b"Scrambled=01".hex().upper().encode())
        back = stubpack("scramble-text", "--decode", *extra, tmp_path / "s", "-o", tmp_path / "d")
        assert back.returncode == 0 and (tmp_path / "d").read_bytes() == inform.read_bytes()


def test_inspect_and_extract_report_damage(stubpack, stub_exe, payload, tmp_path):
    good = tmp_path / "good.exe"
    stubpack("build", "--stub", stub_exe, "--out", good, "--level", "0", payload / "docs")
    data = good.read_bytes()
    t = len(data) - TRAILER
    first_file_record = u32(data[t:], 4) + 4 + u32(data, u32(data[t:], 4))
    first_file_record += 4 + u32(data, first_file_record)

    def with_bytes(at, raw):
        return data[:at] + raw + data[at + len(raw):]

    cases = {
        "truncated": data[:len(data) - 1000],
        "content changed": with_bytes(t - 500, b"\xff\xfe"),  # the checksum no longer matches
        "signature": with_bytes(t + 12, b"\0\0\0\0"),
        "record runs past the end": with_bytes(first_file_record, struct.pack("<i", -(1 << 30))),
    }
    for name, damaged in cases.items():
        path = tmp_path / f"{name}.exe"
        path.write_bytes(damaged)
        view = stubpack("inspect", path, "--json", check=False)
        assert view.returncode == 4, name
        assert json.loads(view.stdout)["problems"], name
        assert stubpack("extract", path, tmp_path / name, check=False).returncode == 4, name
    assert stubpack("inspect", tmp_path / "missing.exe", check=False).returncode == 1


def test_main_must_be_a_program_among_the_files(stubpack, stub_exe, tmp_path):
    src = tmp_path / "src"
    (src / "bin").mkdir(parents=True)
    (src / "Engine.exe").write_bytes(program_header())
    (src / "bin" / "Setup64.exe").write_bytes(program_header())
    (src / "Helper.dll").write_bytes(program_header(0x2002))
    (src / "readme.txt").write_text("text")
    out = tmp_path / "o.exe"
    cases = [
        ([], 0, "warning: no --main: the package launches nothing"),
        (["--main", "Engin.exe"], 1, "(did you mean Engine.exe?)"),
        (["--main", "Setup64.exe"], 1, "(did you mean bin/Setup64.exe?)"),
        (["--main", "readme.txt"], 1, "is not a Windows program"),
        (["--main", "Helper.dll"], 1, "is not a Windows program"),
        (["--main", "bin\\SETUP64.EXE"], 0, ""),
    ]
    for args, code, message in cases:
        r = stubpack("build", "--stub", stub_exe, "--out", out, *args, src, check=False)
        assert (r.returncode, message in r.stderr) == (code, True), (args, r.stderr)
        assert out.exists() == (code == 0)
        out.unlink(missing_ok=True)


def test_rebuilding_with_fewer_disks_names_every_stale_one(stubpack, stub_exe, payload, tmp_path):
    out = tmp_path / "Setup.exe"
    size = len(stub_exe.read_bytes()) + 100000
    stubpack("build", "--stub", stub_exe, "--out", out, "--disk-size", size, "--level", "0", "--quiet", payload)
    n = len(check_package(out)["disks"])
    assert n >= 4
    (tmp_path / "Setup.exe.bak").write_bytes(b"not a disk")
    r = stubpack("build", "--stub", stub_exe, "--out", out, "--disk-size", size * 2, "--level", "0", "--quiet",
                 payload)
    m = len(check_package(out)["disks"])
    assert 1 < m < n
    stale = [line for line in r.stderr.splitlines() if "left from an earlier build" in line]
    assert stale == [f"stubpack: warning: {out}.{i:03d} is left from an earlier build and does not belong to this "
                     "package; remove it" for i in range(m + 1, n + 1)]


# A config file or a language file with a mistake: its file and line, and the exit code
# (2: the build's own settings, 1: an input). Warnings let the build go on.
CONFIG_MISTAKES = [
    ("[build]\nout = o.exe\ntoken: x\n", 2, 'build.ini:3: "token: x" is not key = value'),
    ("[build\nout = o.exe\n", 2, 'build.ini:1: the section [build has no closing "]"'),
    ("[build] x\n", 2, 'build.ini:1: text after the "]" of [build]'),
    ("[build]\ntoken = a\n\ntoken = b\n", 2, "build.ini:4: token is given twice (also on line 2)"),
    ("[build]\nudpate-url = http://h/\n", 2, 'build.ini:2: unknown key "udpate-url" (did you mean update-url?)'),
    ("[build]\n[other]\n", 2, "build.ini:2: unknown section [other]"),
    ("[build]\n[Build]\n", 2, "build.ini:2: a second [build] section (the first is on line 1)"),
    ("out = o.exe\n[build]\n", 2, "build.ini:1: keys before [build]"),
    ("[build]\nhide = maybe\n", 2, 'build.ini:2: hide wants true or false, not "maybe"'),
]
LANGUAGE_MISTAKES = [
    ("[English]\ns0=Setup\n[Russian\n", 1, 'lang.ini:3: the section [Russian has no closing "]"'),
    ("[English]\ns0 Product Setup\n", 1, 'lang.ini:2: "s0 Product Setup" is not key = value'),
    ("s0=Setup\n[English]\n", 1, "lang.ini:1: entries before the first [section]"),
    ("[English]\ns0=a\n[english]\ns0=b\n", 1, "lang.ini:3: a second section [english] (the first is on line 1)"),
    ("[English]\ns0=a\nS0=b\n", 1, "lang.ini:3: S0 is given twice in [English] (also on line 2)"),
    ("[English]\nCharset=999\n", 1, "lang.ini:2: Charset=999 is not a character set the stub can show"),
    ("[English]\nCharset=Western\n", 1, "lang.ini:2: Charset=Western is not a character set"),
    ("[English]\nFontSize=eight\n", 1, "lang.ini:2: FontSize=eight is not a size the stub can use"),
    ("[English]\nFontSize=0\n", 1, "lang.ini:2: FontSize=0 is not a size"),
    # warnings
    ("[English]\ns0=a\nFontSise=9\n", 0, 'lang.ini:3: the stub reads no key "FontSise" (did you mean FontSize?)'),
    ("[English]\ns9=a\n", 0, 'lang.ini:2: the stub reads no key "s9"; it is packed but never shown'),
    ("[German]\ns0=a\n[French]\ns0=b\n", 0, "lang.ini:1: several sections and none is [English]"),
    ("[English]\ns0=a\n[Deutsch]\ns0=b\n", 0, "lang.ini:3: [Deutsch] is no language name the stub looks for"),
    ("[English]\ns4=<P>Space needed: lots<P>\n", 0,
     "lang.ini:1: [English]: the temporary-space notice (s2, s4, s5, s6) has no <SPACE_REQ>"),
    ("[English]\ns3=Short of space<P>\n", 0,
     "lang.ini:1: [English]: the temporary-space notice (s3, s4, s5, s6) has no <DRIVE>"),
    ("[English]\ns8=Insert the next disk\n", 0, "lang.ini:2: s8 has no <DISK_NUM>"),
    ("[English]\ns11=Download it?\n", 0, "lang.ini:2: s11 has no <SIZE>"),
    ("[English]\nBtnText=|OK|Cancel|\n", 0, 'lang.ini:2: BtnText "|OK|Cancel|" is not the 7 button texts'),
]
# Nothing to say: one section is used whatever its name, and placeholders may move between
# the texts of the notice.
LANGUAGE_CLEAN = ("[Deutsch]\nCharset=0\nFontSize=9\nFontName=Arial\nBtnText=|&OK|&Abbrechen|&Ja|&Nein|&Abbruch|"
                  "&Wiederholen|&Ignorieren|\ns2=Laufwerk <DRIVE><P>\ns4=Frei: <SPACE_AVAIL> MB<P>\n"
                  "s5=Benötigt: <SPACE_REQ> MB<P>\ns8=Diskette <DISK_NUM>\ns11=Größe <SIZE> MB\n; a comment\n"
                  "# another\n\nError=Fehler\n")


@pytest.mark.parametrize("kind, text, code, message",
                         [("config", *c) for c in CONFIG_MISTAKES] + [("lang", *c) for c in LANGUAGE_MISTAKES]
                         + [("lang", LANGUAGE_CLEAN, 0, None)])
def test_config_and_language_files_are_read_strictly(stubpack, stub_exe, tmp_path, kind, text, code, message):
    (tmp_path / "Engine.exe").write_bytes(program_header())
    out = tmp_path / "o.exe"
    common = ["--stub", stub_exe, "--out", out, "--main", "Engine.exe", tmp_path / "Engine.exe"]
    if kind == "config":
        (tmp_path / "build.ini").write_text(text)
        r = stubpack("build", "--config", tmp_path / "build.ini", *common, check=False)
    else:
        (tmp_path / "lang.ini").write_text(text, encoding="utf-8")
        r = stubpack("build", "--lang", tmp_path / "lang.ini", *common, check=False)
    assert r.returncode == code, r.stderr
    if message is None:
        assert r.stderr == ""
    else:
        assert f"{tmp_path}/{message}" in r.stderr, r.stderr
        assert r.stderr.startswith("stubpack: warning: " if code == 0 else "stubpack: "), r.stderr
    assert out.exists() == (code == 0)


def test_a_file_that_is_no_package_is_called_what_it_is(stubpack, stub_exe, tmp_path):
    (tmp_path / "notes.txt").write_text("just text")
    for path, what in [(stub_exe, "is a Windows program, not a setup package"),
                       (tmp_path / "notes.txt", "is not a setup package")]:
        for command in (["inspect", path], ["extract", path, tmp_path / "x"]):
            r = stubpack(*command, check=False)
            assert (r.returncode, r.stderr) == (1, f"stubpack: {path} {what}: it carries no package at its end\n")
    assert not (tmp_path / "x").exists()
