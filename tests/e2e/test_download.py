"""HTTP downloads under Wine through httpdemo: from nginx and from the fault server, into a
file and into memory, and stopped by a close request."""
import math
import re

import pytest

from conftest import win_path
from servers import fault_server, nginx, pattern  # noqa: F401  (fixtures)


@pytest.fixture
def demo(wine):
    exe = wine.tool("httpdemo")
    if not exe.exists():
        pytest.skip(f"{exe} is not built")

    def run(*args):
        proc = wine.run(exe, *args, timeout=120)
        assert proc.returncode in (0, 1), proc.stderr
        fields = dict(line.split("=", 1) for line in proc.stdout.splitlines() if "=" in line)
        return proc.returncode, fields
    return run


def partials(dest):
    """The partial downloads beside dest ("dest.N")."""
    return sorted(p for p in dest.parent.glob(dest.name + ".*") if re.fullmatch(r"\.\d+", p.name[len(dest.name):]))


@pytest.mark.parametrize("memory", [False, True], ids=["file", "memory"])
def test_download_from_nginx(demo, nginx, workdir, memory):
    # Downloads kept in memory (description files) stop at 1 MiB.
    size = 900_000 if memory else 3_000_000
    body = pattern(size, seed=7)
    url = nginx.put(f"setup-{memory}.exe", body)
    dest = workdir / "setup.exe"
    dest.write_bytes(b"older version")
    code, out = demo("get", url, win_path(dest), *(["--memory"] if memory else []))
    assert (code, out["result"], out["error"]) == (0, "1", "")
    assert dest.read_bytes() == body
    assert partials(dest) == []
    # 367 reads of 8192 bytes (3 MB): the bar's maximum is one more, one step per read.
    assert out["barmax"] == str(math.ceil(size / 8192) + 1)
    assert out["steps"] == str(math.ceil(size / 8192))


def test_size_query_and_error_page(demo, nginx, fault_server, workdir, debug):
    url = nginx.put("sized.bin", pattern(12345))
    assert demo("size", url) == (0, {"size": "12345"})
    assert demo("size", fault_server.url("/nolength/100")) == (1, {"size": "-1"})
    assert f"HTTP_GetFileSize=12345  {url}" in debug.text()

    # nginx's 404 page arrives like a file; CheckErrorPage tells it apart from a real one.
    missing = nginx.url("missing.info")
    dest = workdir / "a.info"
    code, out = demo("get", missing, win_path(dest))
    assert (code, out["error"]) == (0, "")
    code, out = demo("check", win_path(dest), missing)
    assert code == 0 and out["page"].startswith(f"<B>404 File Not Found...</B><P><P>URL:  {missing}.")
    code, out = demo("check", win_path(dest.with_name("none")), missing)
    assert (code, out["page"]) == (1, "none")


@pytest.mark.parametrize("path, memory, error, kept", [
    ("/zero", False, "{url} --- File Not Found !", None),
    ("/zero", True, "{url} --- File Not Found !", None),
    ("/short/100000/5000", False, "5000 --- Error downloading file (5000 of 100000 bytes received)", 5000),
    ("/short/100000/5000", True, "5000 --- Error downloading file (5000 of 100000 bytes received)", 5000),
    ("/nolength/20000", False,
     "20000 --- Error downloading file (the server gave no length; 20000 bytes received)", 20000),
    ("/nolength/20000", True, "", 20000),
    ("/page/404/setup.exe", False, "", None),
    ("/page/200/setup.exe", True, "", None),
], ids=["zero-file", "zero-memory", "short-file", "short-memory", "nolength-file", "nolength-memory",
        "page404-file", "page200-memory"])
def test_download_from_fault_server(demo, fault_server, workdir, path, memory, error, kept):
    url = fault_server.url(path)
    dest = workdir / "setup.exe"
    code, out = demo("get", url, win_path(dest), *(["--memory"] if memory else []))
    assert out["error"] == error.format(url=url)
    assert code == (0 if not error else 1)
    if path.startswith("/page/"):
        assert b"<title>" in dest.read_bytes()
    elif memory:
        # What arrived is handed over either way; the error text says whether it is the file.
        assert dest.read_bytes() == pattern(kept or 0)
    elif error:
        assert not dest.exists()
        if kept is None:
            assert partials(dest) == []
        else:
            [partial] = partials(dest)
            assert partial.read_bytes() == pattern(kept)


def test_https_address_is_left_alone(demo, nginx, workdir):
    # nginx speaks plain HTTP here, so the TLS handshake fails; what counts is the address tried.
    url = nginx.url("sized.bin").replace("http://", "https://")
    code, out = demo("get", url, win_path(workdir / "x.bin"))
    assert (code, out["error"]) == (1, f"Unable to open Internet Connection: {url}")
    bare = nginx.put("bare.bin", b"0123456789" * 10).removeprefix("http://")
    code, out = demo("get", bare, win_path(workdir / "bare.bin"))
    assert (code, out["error"]) == (0, "")
    assert (workdir / "bare.bin").read_bytes() == b"0123456789" * 10


@pytest.mark.parametrize("memory", [False, True], ids=["file", "memory"])
def test_close_request_aborts(demo, nginx, workdir, debug, memory):
    body = pattern(1_000_000 if memory else 2_000_000, seed=3)
    url = nginx.put(f"abort-{memory}.bin", body)
    dest = workdir / "abort.bin"
    code, out = demo("get", url, win_path(dest), *(["--memory"] if memory else []), "--abort-after", "100000")
    assert (code, out["result"], out["error"]) == (1, "0", "Download Aborted")
    # The request arrives during the wait after the read that passed 100000 bytes or before the
    # next; no read follows the one during which it came.
    if memory:
        got = dest.read_bytes()
    else:
        assert not dest.exists()
        [partial] = partials(dest)
        got = partial.read_bytes()
    assert 100000 <= len(got) <= 100000 + 2 * 8192
    assert got == body[:len(got)]
    assert any(re.fullmatch(r"\d+ HTTP_DownloadFile_Incremental: Download Aborted", line) for line in debug.lines())
