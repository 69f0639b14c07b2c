"""Shared fixtures of the end-to-end tests: Wine with one wineserver for the whole run, an
Xvfb display, the debug viewer, and tools to make packages and run the stub.

scripts/test.sh starts the display and the wineserver and exports STUB_WINE,
STUB_TEST_BUILD and DISPLAY; run alone, this file starts them itself.
"""
import getpass
import os
import shutil
import subprocess
import time
from pathlib import Path

import pytest

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

    def start(self, exe, *args, cwd=None):
        return subprocess.Popen([self.loader, str(exe), *map(str, args)], cwd=cwd, env=self.env,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                                errors="replace")

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
        """A window of the given class, held by a helper process until it is ended."""
        proc = self.start(self.tool("wintest"), "hold-window", class_name, seconds)
        line = proc.stdout.readline().strip()
        assert line == "ready", f"wintest did not start: {line!r} {proc.stderr.read()}"
        return proc


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
        return [line for line in self.text_since(mark).split("\r\n") if line]

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


@pytest.fixture
def workdir(tmp_path):
    """A fresh folder for the files of one test, kept out of other tests' way."""
    d = tmp_path / "w"
    d.mkdir()
    yield d
    shutil.rmtree(d, ignore_errors=True)
