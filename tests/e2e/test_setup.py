"""A setup run end to end under Wine: the stub extracts its package behind its window, starts
the engine with the hand-off command line, waits for it and passes its exit code on; a run that
starts no engine ends with a code that says why. Exit codes are read in full, from inside Win32."""
import json
import re
import subprocess
import time

import pytest

import msgbox
from conftest import save_screenshot, wait_until, win_path


def engine_exe(wine):
    return wine.build / "tools" / "engine" / "Engine.exe"


def engine_ini(folder, exit_code=0, remove_atom=1, dialog_seconds=0, record=None):
    lines = ["[Engine]", f"ExitCode={exit_code}", f"RemoveAtom={remove_atom}", f"DialogSeconds={dialog_seconds}"]
    if record:
        lines.append(f"RecordTo={win_path(record)}")
    path = folder / "Engine.ini"
    path.write_text("\r\n".join(lines) + "\r\n")
    return path


def read_record(path):
    """The engine's record: one dict per run."""
    runs, current = [], {}
    for line in path.read_text(errors="replace").splitlines():
        if line == "end":
            runs.append(current)
            current = {}
            continue
        key, _, value = line.partition("=")
        if key == "file":
            current.setdefault("files", []).append(value)
        else:
            current[key] = value
    return runs


@pytest.fixture
def setup_package(wine, mkpkg, workdir):
    """Builds setup.exe with Engine.exe (marked to launch), its Engine.ini and a sample file."""
    def make(*extra, main_args="/L=1", name="setup.exe", lang="English|s0=Sample Setup|s1=Unpacking the sample...",
             **ini):
        src = workdir / "src"
        src.mkdir(exist_ok=True)
        ini.setdefault("record", workdir / "record.txt")
        engine_ini(src, **ini)
        (src / "readme.txt").write_text("sample product\n")
        args = ["--file", f"Engine.exe={engine_exe(wine)}",
                "--file", f"Engine.ini={src / 'Engine.ini'}", "--file", f"docs\\readme.txt={src / 'readme.txt'}",
                "--lang", lang, *extra]
        if main_args is not None:
            args += ["--main", "Engine.exe", "--main-args", main_args]
        return mkpkg(workdir / name, *args)
    return make


class StubRun:
    """The stub started by wintest, which reports its full 32-bit exit code (a shell sees only
    the low byte)."""

    def __init__(self, wine, exe, *args):
        self.proc = wine.start(wine.tool("wintest"), "run", " ".join([win_path(exe), *args]), cwd=exe.parent)

    def code(self, timeout=90):
        out, err = self.proc.communicate(timeout=timeout)
        assert out.startswith("exit "), out + err
        return int(out.split()[1])


def run_setup(wine, exe, *args, timeout=90):
    return StubRun(wine, exe, *args).code(timeout)


def temp_setup_folders(wine):
    temp = wine.prefix_temp()
    return sorted(p.name for p in temp.glob("SETUP_*")) if temp.exists() else []


def test_happy_path_hands_off_and_passes_the_exit_code(wine, setup_package, workdir, debug):
    exe = setup_package(exit_code=42)
    # (Wine's launcher would escape quotes typed here, so the given origin has none.)
    rc = run_setup(wine, exe, "/extra", "/OriginExe=D:\\first.exe", "/SpanCdLvl=2", "/Z")
    assert rc == 42
    (run,) = read_record(workdir / "record.txt")
    folder = run["folder"].rstrip("\\")
    assert folder.split("\\")[-1].startswith("SETUP_")
    tid = run["commandline"].split("/TH_ID=_")[1].split()[0]
    assert run["commandline"] == (f"{folder}\\Engine.exe /extra /OriginExe=D:\\first.exe /Z /L=1 "
                                  f"/TH_ID=_{tid}")
    assert run["atom"] == "found"
    assert run["show"] == "5"  # SW_SHOW
    assert sorted(run["files"]) == sorted(["docs\\readme.txt 15", f"Engine.exe {engine_exe(wine).stat().st_size}",
                                           f"Engine.ini {(workdir / 'src' / 'Engine.ini').stat().st_size}"])
    assert not temp_setup_folders(wine)
    assert any(" ==== WinExec(Engine.exe) >>" in l for l in debug.lines())
    # "/SpanCdLvl=2" marks the temporary copy of a relaunch, which removes itself afterwards.
    assert wait_until(lambda: not exe.exists()), "the stub did not delete itself"


def test_origin_exe_is_added_when_missing(wine, setup_package, workdir):
    exe = setup_package()
    assert run_setup(wine, exe) == 0
    (run,) = read_record(workdir / "record.txt")
    assert run["commandline"].endswith(f' /L=1 /TH_ID=_{run["commandline"].split("/TH_ID=_")[1].split()[0]} '
                                       f'/OriginExe="{win_path(exe)}"')


def test_hidden_setup_shows_nothing_and_starts_the_engine_hidden(wine, setup_package, workdir):
    exe = setup_package("--announce-temp")  # the space notice would ask, were it not hidden
    assert run_setup(wine, exe, "/hide") == 0
    (run,) = read_record(workdir / "record.txt")
    assert run["show"] == "0"  # SW_HIDE
    assert " /hide " in run["commandline"]


@pytest.mark.parametrize("answer, started, code", [("&Yes", True, 0), ("&No", False, 1602)])
def test_space_notice_asks_when_announced(wine, setup_package, workdir, answer, started, code):
    exe = setup_package("--announce-temp")
    run = StubRun(wine, exe)
    box = msgbox.wait(wine)
    assert box.caption == "Confirm"
    assert "CONFIRM" in box.bold_texts()
    assert "will extract files to your Temp Drive (C:)" in box.text
    assert "Continue with Setup?" in box.text
    box.press(answer)
    assert run.code(60) == code
    assert (workdir / "record.txt").exists() == started
    assert not temp_setup_folders(wine)


def test_bad_checksum_shows_bad_crc_and_starts_nothing(wine, setup_package, workdir):
    exe = setup_package()
    data = bytearray(exe.read_bytes())
    data[2000] ^= 0xFF  # inside the stub program: covered by the checksum
    exe.write_bytes(bytes(data))
    run = StubRun(wine, exe)
    box = msgbox.wait(wine)
    save_screenshot("setup-bad-crc")
    assert box.caption == "Error"
    assert "Bad CRC!" in box.text
    box.press("&OK")
    assert run.code(60) == 1620
    assert not (workdir / "record.txt").exists()
    assert not temp_setup_folders(wine)


def test_no_main_file_starts_nothing_and_says_nothing(wine, setup_package, workdir, debug):
    exe = setup_package(main_args=None)
    assert run_setup(wine, exe) == 1620
    assert not (workdir / "record.txt").exists()
    assert not temp_setup_folders(wine)
    assert "==== Nothing started: the package marks no program, exit code 1620" in debug.text()


def test_a_program_that_cannot_start_fails_the_setup(wine, mkpkg, workdir, debug):
    (workdir / "broken.exe").write_bytes(b"not a program")
    exe = mkpkg(workdir / "setup.exe", "--file", f"Engine.exe={workdir / 'broken.exe'}", "--main", "Engine.exe")
    assert run_setup(wine, exe) == 1603
    assert not temp_setup_folders(wine)
    assert "==== Engine not started, exit code 1603" in debug.text()


def unwritable_package(wine, mkpkg, workdir, *extra):
    """A package whose file "a\\b.txt" cannot be written: "a" is a file by then. The engine
    comes after it and would run with the file missing."""
    src = workdir / "src"
    src.mkdir(exist_ok=True)
    engine_ini(src, record=workdir / "record.txt")
    (src / "x").write_bytes(b"x")
    return mkpkg(workdir / "setup.exe", "--file", f"a={src / 'x'}", "--file", f"a\\b.txt={src / 'x'}",
                 "--file", f"Engine.exe={engine_exe(wine)}", "--file", f"Engine.ini={src / 'Engine.ini'}",
                 "--main", "Engine.exe", *extra)


def test_a_failed_write_starts_nothing(wine, mkpkg, workdir):
    run = StubRun(wine, unwritable_package(wine, mkpkg, workdir))
    box = msgbox.wait(wine)
    assert "Unable to save Extracted File!" in box.text and "a\\b.txt" in box.text
    box.press("&OK")
    assert run.code(60) == 1603
    assert not (workdir / "record.txt").exists()
    assert not temp_setup_folders(wine)


def wait_for_engine_dialog(wine):
    deadline = time.monotonic() + 30
    while time.monotonic() < deadline:
        r = subprocess.run([wine.loader, str(wine.tool("wintest")), "find-window-prefix", ".SDialog_Class_Name._"],
                           env=wine.env, capture_output=True, timeout=10)
        if r.returncode == 0:
            return True
        time.sleep(0.2)
    return False


def test_engine_dialog_keeps_the_stub_waiting(wine, setup_package, workdir):
    exe = setup_package(dialog_seconds=3, exit_code=7)
    started = time.monotonic()
    proc = wine.start(exe, cwd=workdir)
    # The engine's dialog appears, and the stub is still there while it is.
    assert wait_for_engine_dialog(wine)
    assert proc.poll() is None
    assert proc.wait(60) == 7
    assert time.monotonic() - started > 3


def test_second_start_of_the_same_file_ends_at_once(wine, setup_package, workdir, debug):
    exe = setup_package(dialog_seconds=4)
    first = wine.start(exe, cwd=workdir)
    deadline = time.monotonic() + 30
    while time.monotonic() < deadline and "Role=Setup" not in debug.text():
        time.sleep(0.1)
    time.sleep(0.5)
    assert run_setup(wine, exe, timeout=20) == 1618  # another run of this setup is in progress
    assert first.wait(60) == 0
    roles = [l.split("Role=")[1].split()[0] for l in debug.lines() if " ==== Role=" in l]
    assert roles == ["Setup", "AlreadyRunning"]


def wait_until_shown(wine, exe, ready=lambda info: True):
    """The stub window of exe as wintest window-info describes it, once it is visible (and
    ready says yes); None when it never was."""
    deadline = time.monotonic() + 30
    while time.monotonic() < deadline:
        r = subprocess.run([wine.loader, str(wine.tool("wintest")), "window-info", win_path(exe)],
                           env=wine.env, capture_output=True, text=True, timeout=10)
        if r.returncode == 0 and '"visible": true' in r.stdout:
            info = json.loads(r.stdout)
            if ready(info):
                return info
        time.sleep(0.05)
    return None


@pytest.mark.parametrize("charset", [0, 177])
def test_window_shows_status_text_during_extraction(wine, setup_package, workdir, charset):
    exe = setup_package("--show-activity-bar", lang=f"English|s0=Sample Setup|s1=Unpacking the sample...|Charset={charset}",
                        dialog_seconds=1)
    proc = wine.start(exe, cwd=workdir)
    # Under load Wine may answer for another process's window before its text has arrived:
    # the window counts as shown with its status line.
    info = wait_until_shown(wine, exe, ready=lambda info: info["children"][0]["text"] != "")
    save_screenshot(f"setup-window-charset-{charset}")
    proc.wait(60)
    assert info is not None, "the stub window was never shown"
    assert info["caption"] == "Sample Setup"
    assert (info["width"], info["height"]) == (492, 110)
    assert info["style"] & 0x02C80000 == 0x02C80000 and info["exstyle"] & 0x2000 == 0
    rtl = charset == 177
    # class, x, y, width, height of the status text, the file bar and the activity bar
    assert [(c["class"].lower(), c["x"], c["y"], c["width"], c["height"]) for c in info["children"]] == [
        ("static", 122 if rtl else 70, 20, 340, 18),
        ("msctls_progress32", 70, 38, 392, 13),
        ("msctls_progress32", 70 if rtl else 416, 20, 46, 13),
    ]
    status = info["children"][0]
    assert status["text"] == "Unpacking the sample..."
    # Right-to-left sets read right to left and align right.
    assert (status["style"] & 0xFFFF0003, status["exstyle"] & 0x2000) == (
        (0x50000002, 0x2000) if rtl else (0x50000000, 0))
    assert all(c["visible"] for c in info["children"]), "the package asks for the activity bar"


def test_exit_code_is_passed_on_in_full(wine, setup_package, workdir):
    """A shell sees only the low byte; a Windows caller gets all 32 bits."""
    exe = setup_package(exit_code=0x10203)
    r = subprocess.run([wine.loader, str(wine.tool("wintest")), "run", win_path(exe)], env=wine.env,
                       capture_output=True, text=True, timeout=90)
    assert r.stdout.strip() == f"exit {0x10203}"


def split_setup(wine, workdir, *extra, exit_code=0):
    """setup.exe split by the builder over at least three disk files."""
    stubpack = wine.native / "tools" / "stubpack" / "stubpack"
    src = workdir / "src"
    src.mkdir()
    (src / "Engine.exe").write_bytes(engine_exe(wine).read_bytes())
    engine_ini(src, exit_code=exit_code, record=workdir / "record.txt")
    (src / "big.dat").write_bytes(bytes(range(256)) * 4000)  # 1 MB that does not shrink much
    size = wine.stub_exe.stat().st_size + 600_000
    subprocess.run([str(stubpack), "build", "--stub", str(wine.stub_exe), "--out", str(workdir / "setup.exe"),
                    "--main", "Engine.exe", "--level", "0", "--disk-size", str(size), *extra, str(src)],
                   check=True, capture_output=True)
    disks = sorted(workdir.glob("setup.exe*"))
    assert len(disks) >= 3, disks
    return disks


def test_split_package_runs_end_to_end(wine, workdir):
    """A package split over three disk files by the builder: all disks present, no prompt."""
    split_setup(wine, workdir, exit_code=5)
    assert run_setup(wine, workdir / "setup.exe") == 5
    (run,) = read_record(workdir / "record.txt")
    assert f"big.dat {256 * 4000}" in run["files"]
    assert not temp_setup_folders(wine)


def test_closing_the_window_twice_cancels_the_setup(wine, setup_package, workdir, debug):
    """The first close only stops a download; the second closes the window, and a setup whose
    window the user closed does not go on to start the engine."""
    record = workdir / "record.txt"
    exe = setup_package(record=record)
    run = StubRun(wine, exe)
    assert wait_until_shown(wine, exe) is not None
    r = subprocess.run([wine.loader, str(wine.tool("wintest")), "close-window", win_path(exe), "2"], env=wine.env,
                       capture_output=True, text=True, timeout=30)
    assert r.stdout.split() == ["open", "gone"]
    assert run.code(60) == 1602
    assert not record.exists(), "the engine was started after the window was closed"
    assert not temp_setup_folders(wine)
    log = debug.text()
    assert "- wm_Destroy -" in log and "==== Setup cancelled: the window was closed" in log


def send_to_stub_window(wine, exe, message):
    r = subprocess.run([wine.loader, str(wine.tool("wintest")), "send-message", win_path(exe), message],
                       env=wine.env, capture_output=True, text=True, timeout=30)
    assert r.returncode == 0, r.stderr
    return int(r.stdout.split()[1])


def test_autoplay_is_refused_only_while_a_disk_is_awaited(wine, setup_package, workdir):
    exe = setup_package(dialog_seconds=3)
    proc = wine.start(exe, cwd=workdir)
    assert wait_for_engine_dialog(wine)
    assert send_to_stub_window(wine, exe, "QueryCancelAutoPlay") == 0
    assert proc.wait(60) == 0

    split = workdir / "split"
    split.mkdir()
    split_setup(wine, split)[-1].unlink()
    exe = split / "setup.exe"
    run = StubRun(wine, exe)
    box = msgbox.wait(wine)
    assert "DISK #" in box.text
    assert send_to_stub_window(wine, exe, "QueryCancelAutoPlay") == 1
    box.press("&Cancel")
    assert run.code(60) == 1602
    assert not (split / "record.txt").exists()


def missing_last_disk(wine, workdir, *extra):
    split_setup(wine, workdir, *extra)[-1].unlink()
    return workdir / "setup.exe"


def bad_checksum(wine, mkpkg, workdir):
    exe = unwritable_package(wine, mkpkg, workdir)
    data = bytearray(exe.read_bytes())
    data[2000] ^= 0xFF
    exe.write_bytes(bytes(data))
    return exe


@pytest.mark.parametrize("make, args, code, logged", [
    (lambda w, m, d: missing_last_disk(w, d), ["/hide"], 1612, r"Disk \d+ missing: "),
    (lambda w, m, d: missing_last_disk(w, d, "--hide"), [], 1612, r"Disk \d+ missing: "),
    (lambda w, m, d: unwritable_package(w, m, d), ["/hide"], 1603, r"Not shown \(hidden setup\): .*Unable to save"),
    (bad_checksum, ["/hide"], 1620, r"==== Bad CRC \(hidden setup: no box\)"),
    (lambda w, m, d: unwritable_package(w, m, d), ["/hide", "/SpanDiskFName1=Z:\\nowhere\\setup.exe"], 1612,
     r"Package file missing: Z:\\nowhere\\setup\.exe"),
], ids=["disk-switch", "disk-package", "write", "checksum", "package-file"])
def test_hidden_runs_show_no_box_and_end_with_their_code(wine, mkpkg, workdir, debug, make, args, code, logged):
    """Nobody may be there to answer a hidden setup (a deployment tool, a service): whether the
    command line or the package asked to hide, every failure ends the run with its code and a
    log line, never with a box that waits."""
    exe = make(wine, mkpkg, workdir)
    assert run_setup(wine, exe, *args, timeout=60) == code
    assert not (workdir / "record.txt").exists()
    assert not temp_setup_folders(wine)
    assert re.search(logged, debug.text()), debug.text()
