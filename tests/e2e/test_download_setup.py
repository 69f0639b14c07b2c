"""Download setups under Wine: a small stub (stubpack --internet) that fetches its package from
nginx, or takes it from beside itself or from a folder, checks its token and runs the setup on
it; the question before a download, the failures a server or the network can cause, closing
the window during the download, and the agent copy the stub leaves for the engine."""
import random
import re
import shutil
import subprocess
import time

import pytest

import msgbox
from conftest import save_screenshot, win_path
from pkgbytes import logical_end, trailer_at
from servers import fault_server, nginx  # noqa: F401  (fixtures)
from test_setup import engine_exe, engine_ini, read_record, temp_setup_folders

TOKEN = "pairing token"
USER_CANCEL, SOURCE_ABSENT, PACKAGE_INVALID = 1602, 1612, 1620


def megabytes(size):
    """The stub's megabyte text: 1 decimal above 10, 2 from 1 to 10, 3 below."""
    mb = size / 1048576
    return f"{mb:.1f}" if mb > 10 else f"{mb:.2f}" if mb >= 1 else f"{mb:.3f}"


@pytest.fixture
def stubpack(wine):
    tool = wine.native / "tools" / "stubpack" / "stubpack"
    if not tool.exists():
        pytest.skip(f"{tool} is not built")

    def run(*args):
        r = subprocess.run([str(tool), *map(str, args)], capture_output=True, text=True, timeout=120)
        assert r.returncode == 0, r.stderr + r.stdout
    return run


class DownloadSetup:
    """A package file (the engine, its ini, a readme and optionally a large file) and the
    download stub Setup.exe that names it, both in the test's folder."""

    def __init__(self, wine, stubpack, workdir, big=0, token=TOKEN, **ini):
        self.wine, self.stubpack, self.dir = wine, stubpack, workdir
        self.record = workdir / "record.txt"
        src = workdir / "src"
        src.mkdir()
        shutil.copy(engine_exe(wine), src / "Engine.exe")
        engine_ini(src, record=self.record, **ini)
        (src / "readme.txt").write_text("sample product\n")
        if big:
            # Random bytes stay as large in the package: the download takes a while.
            (src / "big.dat").write_bytes(random.Random(5).randbytes(big))
        self.package = workdir / "pkg" / "Product.exe"
        self.package.parent.mkdir()
        stubpack("build", "--stub", wine.stub_exe, "--out", self.package, "--download-token", token,
                 "--main", "Engine.exe", "--main-args", "/L=1", "--level", "1", src)
        self.exe = workdir / "Setup.exe"

    def other_package(self, token):
        """The same package with another download token."""
        other = self.dir / "other" / "Product.exe"
        other.parent.mkdir(exist_ok=True)
        self.stubpack("build", "--stub", self.wine.stub_exe, "--out", other, "--download-token", token,
                      "--main", "Engine.exe", self.dir / "src")
        return other.read_bytes()

    def stub(self, url, *options):
        self.stubpack("build", "--stub", self.wine.stub_exe, "--out", self.exe, "--internet", "--download-url", url,
                      "--download-file", self.package, "--download-token", TOKEN, *options)
        return self.exe

    def start(self, *args):
        """Runs the stub through wintest, which reports the full exit code (see code())."""
        return self.wine.start(self.wine.tool("wintest"), "run", " ".join([win_path(self.exe), *args]))

    def runs(self):
        return read_record(self.record) if self.record.exists() else []


def code(proc, timeout=120):
    out, err = proc.communicate(timeout=timeout)
    match = re.search(r"exit (\d+)", out)
    assert match, out + err
    return int(match.group(1))


def served(nginx, folder, data):  # noqa: F811
    """Puts data on nginx as FOLDER/Product.exe; returns the folder's URL."""
    nginx.put(f"{folder}/Product.exe", data)
    return nginx.url(folder)


def requests_for(nginx, folder):  # noqa: F811
    log = nginx.work / "access.log"
    return [line for line in log.read_text().splitlines() if f"/{folder}/" in line] if log.exists() else []


def nothing_left(wine):
    """No temporary folder of a run, and no package or partial download in TEMP itself."""
    temp = wine.prefix_temp()
    return not temp_setup_folders(wine) and not list(temp.glob("Product.exe*"))


def window_info(wine, exe):
    import json
    r = subprocess.run([wine.loader, str(wine.tool("wintest")), "window-info", win_path(exe)], env=wine.env,
                       capture_output=True, text=True, timeout=10)
    return json.loads(r.stdout) if r.returncode == 0 else None


def wait_for_progress(wine, exe, pattern, seconds=60):
    """The window once it is visible and its status line matches pattern; None if never."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        info = window_info(wine, exe)
        if info and info["visible"] and re.search(pattern, info["children"][0]["text"]):
            return info
        time.sleep(0.1)
    return None


def test_fetched_package_runs_with_progress_and_is_removed(wine, stubpack, nginx, workdir, debug):  # noqa: F811
    setup = DownloadSetup(wine, stubpack, workdir, big=12_000_000, exit_code=42)
    folder = "happy"
    exe = setup.stub(served(nginx, folder, setup.package.read_bytes()))
    proc = setup.start("/extra")
    # The status line shows the amounts, then the rate, while the file bar moves.
    first = wait_for_progress(wine, exe, r"^Downloading File\.\.\.   [\d.,]+/[\d.,]+ MB")
    later = wait_for_progress(wine, exe, r"KB/Sec$")
    save_screenshot("download-setup-window")
    assert first and later, "the download's progress never showed"
    bar_before, bar_after = first["children"][1], later["children"][1]
    assert bar_after["max"] == bar_before["max"] > 1000  # about one step per 8 KiB read
    assert 0 < bar_before["pos"] < bar_after["pos"]
    assert code(proc) == 42
    (run,) = setup.runs()
    tid = run["commandline"].split("/TH_ID=_")[1].split()[0]
    assert run["commandline"] == f'{run["folder"]}Engine.exe /extra /L=1 /TH_ID=_{tid} /OriginExe="{win_path(exe)}"'
    # Fetched into the run's own folder, apart from the setup files, and gone afterwards.
    assert f"download\\Product.exe {setup.package.stat().st_size}" in run["files"]
    assert len(requests_for(nginx, folder)) == 1
    assert nothing_left(wine)
    assert any(line.endswith(" ==== Package download: SetupRan") for line in debug.lines())


@pytest.mark.parametrize("answer", ["&Yes", "&No", "hidden"])
def test_question_before_the_download(wine, stubpack, nginx, workdir, answer):  # noqa: F811
    setup = DownloadSetup(wine, stubpack, workdir)
    folder = f"ask-{answer.strip('&')}"
    setup.stub(served(nginx, folder, setup.package.read_bytes()), "--ask-before-download")
    if answer == "hidden":
        # Nobody to ask: a hidden run downloads at once.
        assert code(setup.start("/hide")) == 0
        assert msgbox.none_left(wine, timeout=1)
        assert setup.runs()[0]["show"] == "0"
    else:
        proc = setup.start()
        box = msgbox.wait(wine, timeout=60)
        assert box.caption == "Confirm" and "INTERNET DOWNLOAD" in box.bold_texts()
        assert f"Size: {megabytes(setup.package.stat().st_size)} MB" in box.text
        assert requests_for(nginx, folder) == []
        box.press(answer)
        if answer == "&No":
            # Declined: nothing is fetched, nothing more is said, and no success is reported.
            assert code(proc) == USER_CANCEL
            assert msgbox.none_left(wine, timeout=1)
            assert requests_for(nginx, folder) == [] and setup.runs() == []
        else:
            assert code(proc) == 0
            assert len(setup.runs()) == 1
    assert nothing_left(wine)


@pytest.mark.parametrize("where", ["beside", "beside-no-local-copy", "folder"])
def test_package_that_is_at_hand(wine, stubpack, nginx, workdir, where):  # noqa: F811
    setup = DownloadSetup(wine, stubpack, workdir)
    folder = f"local-{where}"
    url = served(nginx, folder, setup.package.read_bytes())
    if where == "folder":
        setup.stub(win_path(setup.package.parent))  # a folder or share in place of a server
        local = setup.package
    else:
        local = workdir / "Product.exe"
        shutil.copy(setup.package, local)
        setup.stub(url, *(["--no-local-copy"] if where == "beside-no-local-copy" else []))
    before = local.read_bytes()
    assert code(setup.start()) == 0
    assert len(setup.runs()) == 1
    assert len(requests_for(nginx, folder)) == (1 if where == "beside-no-local-copy" else 0)
    assert local.read_bytes() == before  # used, never deleted
    assert nothing_left(wine)


@pytest.mark.parametrize("case", ["token-case", "token-other", "404", "cut", "stall", "refused", "refused-hidden"])
def test_failures_run_nothing_and_say_why(wine, stubpack, nginx, fault_server, workdir, debug, case):  # noqa: F811
    setup = DownloadSetup(wine, stubpack, workdir)
    folder = f"fail-{case}"
    if case.startswith("token"):
        url = served(nginx, folder, setup.other_package("Pairing Token" if case == "token-case" else "other"))
        text, exit_code = "Bad Secret Token!", PACKAGE_INVALID
    elif case == "404":
        url = nginx.url(folder)  # nothing there: nginx answers with its error page
        text, exit_code = f"404 File Not Found...URL:  {url}/Product.exe.", PACKAGE_INVALID
    elif case in ("cut", "stall"):
        url = fault_server.url(f"/{'short' if case == 'cut' else 'stall'}/100000/5000")
        text = "Product.exe --- Error downloading file (5000 of 100000 bytes received)"
        exit_code = SOURCE_ABSENT
    else:
        url = "http://127.0.0.1:1/dl"
        text, exit_code = "Unable to open Internet Connection: http://127.0.0.1:1/dl/Product.exe", SOURCE_ABSENT
    setup.stub(url)
    if case == "refused-hidden":
        # Nobody sees a hidden run: no box, the reason goes to the log.
        assert code(setup.start("/hide")) == exit_code
        assert msgbox.none_left(wine, timeout=1)
        assert any(text in line and "(hidden setup: no box)" in line for line in debug.lines())
    else:
        proc = setup.start()
        box = msgbox.wait(wine, timeout=90)
        if case == "cut":
            save_screenshot("download-setup-cut")
        assert box.caption == "Error"
        assert text in box.text.replace("\r", "").replace("\n", "")
        box.press("&OK")
        assert code(proc) == exit_code
    assert setup.runs() == []
    assert nothing_left(wine)


def test_closing_the_window_stops_the_download(wine, stubpack, nginx, workdir, debug):  # noqa: F811
    setup = DownloadSetup(wine, stubpack, workdir, big=12_000_000)
    exe = setup.stub(served(nginx, "close", setup.package.read_bytes()))
    proc = setup.start()
    assert wait_for_progress(wine, exe, r"MB"), "the download never started"
    r = subprocess.run([wine.loader, str(wine.tool("wintest")), "close-window", win_path(exe)], env=wine.env,
                       capture_output=True, text=True, timeout=30)
    assert r.stdout.split() == ["open"]  # the first close stops the download, not the window
    box = msgbox.wait(wine, timeout=60)
    assert box.caption == "Error" and "Download Aborted" in box.text
    box.press("&OK")
    assert code(proc) == USER_CANCEL
    assert setup.runs() == []
    assert nothing_left(wine)
    assert any(line.endswith(f" ==== Package download: Aborted, exit code {USER_CANCEL}") for line in debug.lines())


@pytest.fixture(scope="module")
def signing(tmp_path_factory):
    """Two self-signed code-signing certificates: a plain one, whose signature is about
    1.5 KB, and one padded with a long comment, whose signature is above 10,000 bytes."""
    openssl, osslsigncode = shutil.which("openssl"), shutil.which("osslsigncode")
    if not openssl or not osslsigncode:
        pytest.skip("openssl and osslsigncode are needed")
    d = tmp_path_factory.mktemp("certs")
    certs = {}
    for name, extra in (("small", []), ("large", ["-addext", "nsComment=" + "x" * 11000])):
        subprocess.run([openssl, "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", d / f"{name}.key",
                        "-out", d / f"{name}.pem", "-days", "2", "-subj", "/CN=Stub Test Vendor",
                        "-addext", "extendedKeyUsage=codeSigning", *extra], check=True, capture_output=True)
        certs[name] = (d / f"{name}.pem", d / f"{name}.key")

    def sign(name, unsigned, signed):
        cert, key = certs[name]
        subprocess.run([osslsigncode, "sign", "-certs", cert, "-key", key, "-n", "Setup", "-h", "sha256",
                        "-in", unsigned, "-out", signed], check=True, capture_output=True)
    return sign


@pytest.mark.parametrize("certificate, kept", [("small", False), ("large", True)])
def test_agent_copy_of_a_signed_download_stub(wine, stubpack, nginx, workdir, signing, certificate,  # noqa: F811
                                              kept):
    setup = DownloadSetup(wine, stubpack, workdir, dialog_seconds=3)
    unsigned = setup.stub(served(nginx, f"agent-{certificate}", setup.package.read_bytes()),
                          "--make-agent-copy", "--agent-file", "Agent.exe")
    signed_path = workdir / "signed.exe"
    signing(certificate, unsigned, signed_path)
    shutil.move(signed_path, setup.exe)
    signed = setup.exe.read_bytes()
    end = logical_end(signed)
    assert (len(signed) - end >= 10000) == kept
    proc = setup.start()
    # The engine holds its dialog open; meanwhile the temporary folder shows what it got.
    deadline = time.monotonic() + 60
    while time.monotonic() < deadline and not setup.record.exists():
        time.sleep(0.1)
    (folder,) = [wine.prefix_temp() / name for name in temp_setup_folders(wine)]
    copy = (folder / "Agent.exe").read_bytes()
    assert code(proc) == 0
    # The stub's own bytes up to its package's end (and the signature when it is large), with
    # the trailer marking an agent copy: the signature's bytes are untouched.
    expected = bytearray(signed if kept else signed[:end])
    expected[end - 5] = 1
    assert copy == bytes(expected)
    assert copy[trailer_at(copy) + 69] == 1
    assert nothing_left(wine)
