"""Shared fixtures of the end-to-end tests: Wine with one wineserver for the whole run, an
Xvfb display, the debug viewer, and tools to make packages and run the stub.

scripts/test.sh starts the display and the wineserver and exports STUB_WINE,
STUB_TEST_BUILD and DISPLAY; run alone, this file starts them itself.
"""
import getpass
import json
import os
import re
import shutil
import subprocess
import time
from pathlib import Path

import pytest

PID_START = re.compile(rb"^\d+ ")

REPO = Path(__file__).resolve().parents[2]
ARTIFACTS = REPO / "artifacts"


def _detect():
    env = dict(os.environ)
    if "STUB_WINE" not in env:
        out = subprocess.run(
            ["bash", "-c", ". scripts/env.sh; stub_detect_wine; env"],
            cwd=REPO, capture_output=True, text=True, check=True).stdout
        for line in out.splitlines():
            key, _, value = line.partition("=")
            if key.startswith(("STUB_", "WINE")):
                env[key] = value
    env.setdefault("WINEPREFIX", "/root/.wine-stub")
    env["WINEDEBUG"] = "-all"
    return env


def win_path(path):
    """The Windows form of a host path, through drive Z:."""
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


class Wine:
    def __init__(self, env):
        self.env = env
        self.loader = env["STUB_WINE"]
        self.build = REPO / "build" / env["STUB_TEST_BUILD"]
        self.native = REPO / "build" / "native"

    @property
    def stub_exe(self):
        return self.build / "stub.exe"

    def tool(self, name):
        return self.build / "tools" / name / f"{name}.exe"

    def run(self, exe, *args, cwd=None, timeout=60):
        """Runs a Windows program to its end; the shell sees the low byte of its exit code."""
        return subprocess.run([self.loader, str(exe), *map(str, args)], cwd=cwd, env=self.env,
                              capture_output=True, text=True, errors="replace", timeout=timeout)

    def run_detached(self, exe, *args, cwd=None, timeout=60):
        """Runs a program that may leave a process of its own behind (a plain agent starts its
        resident copy), which would hold captured output open: the output goes nowhere.
        Returns the exit code the shell sees."""
        return subprocess.run([self.loader, str(exe), *map(str, args)], cwd=cwd, env=self.env,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=timeout).returncode

    def start(self, exe, *args, cwd=None, quiet=False):
        """Starts a program; quiet sends its output nowhere (see run_detached)."""
        out = subprocess.DEVNULL if quiet else subprocess.PIPE
        return subprocess.Popen([self.loader, str(exe), *map(str, args)], cwd=cwd, env=self.env,
                                stdout=out, stderr=out, text=True, errors="replace")

    def prefix_temp(self):
        """The host folder behind the Windows TEMP folder of the test prefix."""
        return Path(self.env["WINEPREFIX"]) / "drive_c" / "users" / getpass.getuser() / "Temp"

    def run_answering_box(self, exe, *args, press="&OK", cwd=None, timeout=60):
        """Runs a program that shows one message box, answers it, and returns (exit code, box)."""
        import msgbox
        proc = self.start(exe, *args, cwd=cwd)
        box = msgbox.wait(self, timeout=timeout)
        box.press(press)
        return proc.wait(timeout), box

    def hold_window(self, class_name, seconds=30):
        """A window of the given class, held by a helper process until it is ended; its
        handle is proc.hwnd."""
        proc = self.start(self.tool("wintest"), "hold-window", class_name, seconds)
        line = proc.stdout.readline().split()
        assert line[:1] == ["ready"], f"wintest did not start: {line!r} {proc.stderr.read()}"
        proc.hwnd = int(line[1])
        return proc

    def window_info(self, class_name):
        """What wintest window-info says of the top-level window of a class (handle, pid,
        exe, caption, visible, ...); None when there is none."""
        r = subprocess.run([self.loader, str(self.tool("wintest")), "window-info", class_name], env=self.env,
                           capture_output=True, text=True, errors="replace", timeout=60)
        return json.loads(r.stdout) if r.returncode == 0 else None

    def post(self, class_name, message, wparam=0, lparam=0):
        """Posts a message to the top-level window of a class; False when there is none."""
        r = subprocess.run([self.loader, str(self.tool("wintest")), "post-message", class_name,
                            *map(str, (message, wparam, lparam))], env=self.env, capture_output=True, timeout=60)
        return r.returncode == 0

    def copy_processes(self):
        """(Linux pid, command line) of every agent or temporary copy (an X_ or Y_ program)
        running in this Wine prefix."""
        return self.processes(COPY_PROGRAM.search)

    def processes_from(self, folder):
        """(Linux pid, command line) of every program of this prefix started from folder."""
        forms = (win_path(folder).lower() + "\\", str(Path(folder).resolve()).lower() + "/")
        return self.processes(lambda args: any(form in args.lower() for form in forms))

    def processes(self, matches):
        found = []
        marker = ("WINEPREFIX=" + self.env["WINEPREFIX"]).encode()
        for pid in filter(str.isdigit, os.listdir("/proc")):
            try:
                with open(f"/proc/{pid}/environ", "rb") as f:
                    environ = f.read().split(b"\0")
                with open(f"/proc/{pid}/cmdline", "rb") as f:
                    args = f.read().replace(b"\0", b" ").decode("latin-1").strip()
            except OSError:
                continue
            if marker in environ and matches(args):
                found.append((int(pid), args))
        return found


COPY_PROGRAM = re.compile(r"[\\/](X|Y)_[^\\/]*\.exe", re.IGNORECASE)


RUN_LOG_LINE = re.compile(r"^\d\d/\d\d/\d\d \d\d:\d\d:\d\d ([ \d]{4}\d+)(   | X )(.*)$")


def run_log(path):
    """The lines of a run log as (thread id, prefix, message)."""
    out = []
    for line in path.read_bytes().decode("latin-1").split("\r\n")[:-1]:
        m = RUN_LOG_LINE.match(line)
        assert m, f"bad log line {line!r}"
        out.append((int(m.group(1)), m.group(2), m.group(3)))
    return out


def wait_until(condition, timeout=20, step=0.2):
    """Polls condition until it is true (returns its value) or the time is up (returns it too)."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value or time.monotonic() > deadline:
            return value
        time.sleep(step)


@pytest.fixture(scope="session")
def wine():
    env = _detect()
    started = []
    if not env.get("DISPLAY"):
        display = ":87"
        started.append(subprocess.Popen(["Xvfb", display, "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        env["DISPLAY"] = display
        for _ in range(50):
            if Path(f"/tmp/.X11-unix/X{display[1:]}").exists():
                break
            time.sleep(0.1)
    os.environ.update({k: env[k] for k in ("DISPLAY", "WINEPREFIX", "WINEDEBUG")})
    subprocess.run(["wineserver", "-p"], env=env, check=False)
    w = Wine(env)
    if not w.stub_exe.exists():
        pytest.skip(f"{w.stub_exe} is not built: run make dist")
    # The first program that touches a window starts Wine's desktop process, which lives as
    # long as the server and keeps that program's output open: let it be one whose output
    # nobody reads to its end.
    subprocess.run([w.loader, str(w.tool("wintest")), "find-window", "StubTestWarmUp"], env=env,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
    yield w
    left = w.copy_processes()
    for pid, _ in left:
        os.kill(pid, 9)
    assert not left, f"agent copies were left running after the tests: {left}"
    for proc in started:
        subprocess.run(["wineserver", "-k"], env=env, check=False)
        proc.terminate()


class DebugViewer:
    """The debug viewer running for the whole session; tests read what arrived since a mark."""

    def __init__(self, wine, path):
        self.path = path
        self.pieces = path.with_name("pieces.txt")
        self.proc = wine.start(wine.tool("vdebug"), "--out", path, "--pieces", self.pieces)
        line = self.proc.stderr.readline()
        assert "ready" in line, f"vdebug did not start: {line!r}"

    def mark(self):
        return self.path.stat().st_size if self.path.exists() else 0

    def text_since(self, mark):
        if not self.path.exists():
            return ""
        with open(self.path, "rb") as f:
            f.seek(mark)
            return f.read().decode("latin-1")

    def piece_mark(self):
        return self.pieces.stat().st_size if self.pieces.exists() else 0

    def piece_lengths_since(self, mark):
        with open(self.pieces, "rb") as f:
            f.seek(mark)
            return [int(x) for x in f.read().split()]

    def lines_since(self, mark):
        """The lines written since the mark. The viewer cannot tell senders apart, so a whole
        line of one process may arrive between the 128-character pieces of another's long
        line: such a line (it begins with a process id and ends its piece) is taken apart."""
        if not self.path.exists():
            return []
        data = self.path.read_bytes()
        lengths = self.pieces.read_bytes().split() if self.pieces.exists() else []
        pieces, pos = [], 0
        for n in map(int, lengths):
            if pos >= mark:
                pieces.append(data[pos:pos + n])
            pos += n
        if max(pos, mark) < len(data):
            pieces.append(data[max(pos, mark):])  # written, its length not yet
        lines, pending = [], b""
        for piece in pieces:
            if pending and piece.endswith(b"\r\n") and PID_START.match(piece) and PID_START.match(pending):
                lines.append(piece[:-2])
                continue
            pending += piece
            while b"\r\n" in pending:
                line, _, pending = pending.partition(b"\r\n")
                lines.append(line)
        lines.append(pending)
        return [line.decode("latin-1") for line in lines if line]

    def stop(self):
        self.proc.terminate()
        self.proc.wait(10)

    def restart(self, wine):
        self.proc = wine.start(wine.tool("vdebug"), "--out", self.path, "--pieces", self.pieces)
        assert "ready" in self.proc.stderr.readline()


@pytest.fixture(scope="session")
def viewer(wine, tmp_path_factory):
    v = DebugViewer(wine, tmp_path_factory.mktemp("vdebug") / "debug.txt")
    yield v
    v.stop()


@pytest.fixture
def debug(viewer):
    """What the stub processes of one test wrote to the debug channel."""
    class Since:
        def __init__(self):
            self.start = viewer.mark()

        def lines(self):
            return viewer.lines_since(self.start)

        def text(self):
            return viewer.text_since(self.start)
    return Since()


@pytest.fixture(scope="session")
def mkpkg(wine):
    tool = wine.native / "tools" / "common" / "mkpkg"

    def make(out, *args, stub=None):
        cmd = [str(tool), "--stub", str(stub or wine.stub_exe), "--out", str(out), *map(str, args)]
        subprocess.run(cmd, check=True)
        return Path(out)
    return make


def save_screenshot(name):
    """Saves the whole Xvfb screen as artifacts/NAME.png (for people to look at)."""
    ARTIFACTS.mkdir(exist_ok=True)
    target = ARTIFACTS / f"{name}.png"
    xwd = subprocess.run(["xwd", "-root", "-silent"], capture_output=True, check=True)
    subprocess.run(["convert", "xwd:-", str(target)], input=xwd.stdout, check=True)
    return target


class Residents:
    """The agent copies a test starts, stopped when it ends: each window of an agent class
    gets wm_ShutDown 0, as "/STOP=0" sends it; a copy that does not end on that is killed and
    fails the test."""
    WM_SHUTDOWN = 1123

    def __init__(self, wine):
        self.wine = wine
        self.classes = []

    def watch(self, class_name):
        if class_name not in self.classes:
            self.classes.append(class_name)
        return class_name

    def stop(self):
        for class_name in self.classes:
            self.wine.post(class_name, self.WM_SHUTDOWN, 0, 0)
        gone = wait_until(lambda: not any(self.wine.window_info(c) for c in self.classes), timeout=20)
        left = self.wine.copy_processes()
        for pid, _ in left:
            os.kill(pid, 9)
        return gone, left


@pytest.fixture
def residents(wine):
    r = Residents(wine)
    yield r
    gone, left = r.stop()
    assert gone, f"an agent window of {r.classes} did not close on wm_ShutDown"
    assert not left, f"copies still ran after the test and were killed: {left}"


@pytest.fixture
def workdir(tmp_path, request):
    """A fresh folder for the files of one test, kept out of other tests' way. A program started
    from it that still runs when the test ends (the test failed before it waited) is ended, so
    that it can't disturb the tests after it."""
    d = tmp_path / "w"
    d.mkdir()
    yield d
    if "wine" in request.fixturenames:
        wine = request.getfixturevalue("wine")
        if not wait_until(lambda: not wine.processes_from(d), timeout=3, step=0.2):
            for pid, _ in wine.processes_from(d):
                os.kill(pid, 9)
    shutil.rmtree(d, ignore_errors=True)


@pytest.fixture(autouse=True)
def clean_temp(request):
    """Clears what an earlier, failed test left in the prefix's TEMP (run folders, downloads), so
    that one failure is reported once and not again by every test that checks TEMP after it."""
    if "wine" in request.fixturenames:
        temp = request.getfixturevalue("wine").prefix_temp()
        if temp.exists():
            for left in [*temp.glob("SETUP_*"), *temp.glob("Product.exe*")]:
                shutil.rmtree(left, ignore_errors=True) if left.is_dir() else left.unlink(missing_ok=True)
    yield
