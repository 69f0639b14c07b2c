"""The Windows build of stubpack, run under Wine: the same command line writes the same bytes
as the Linux build with zlib, Windows-style arguments such as "/L=1" and "/tmp/..." included."""
import pytest

from test_stubpack import check_package, stubpack, payload  # noqa: F401 (fixtures)


def test_windows_build_writes_what_the_linux_build_writes(wine, stubpack, payload, tmp_path):  # noqa: F811
    exe = wine.tool("stubpack")
    if not exe.is_file():
        pytest.skip(f"{exe} is not built")
    size = wine.stub_exe.stat().st_size + 120000
    args = ["build", "--quiet", "--stub", wine.stub_exe, "--main", "Engine.exe", "--main-args", "/L=1",
            "--date", "2024-01-01T00:00:00", "--record-limit", "256K", "--disk-size", size, "--token", "T"]
    stubpack(*args, "--compressor", "zlib", "--out", tmp_path / "linux.exe", payload)
    result = wine.run(exe, *args, "--out", tmp_path / "windows.exe", payload)
    assert result.returncode == 0, result.stderr + result.stdout
    linux, windows = check_package(tmp_path / "linux.exe", disk_size=size), check_package(tmp_path / "windows.exe")
    assert len(linux["disks"]) > 1
    assert windows["disks"] == linux["disks"]
    assert windows["main"] == "Engine.exe*/L=1"
