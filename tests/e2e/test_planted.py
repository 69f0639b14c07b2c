"""What a hostile local user can plant before the elevated stub starts: files, folders and links
under the name of its temporary folder, a foreign package named on its command line, and
description files beside a setup file. Under Wine access lists are stored but not enforced, and
links can be planted only from the Unix side (Wine shows them as reparse points)."""
import os
import shutil
import time

import pytest

import msgbox
from conftest import win_path
from test_setup import StubRun, engine_exe, read_record, run_setup, setup_package, temp_setup_folders  # noqa: F401


def setup_folder_name(exe):
    """The temporary folder's name for a stub file dated 07:08:10 (its DOS time word)."""
    moment = time.mktime((2024, 5, 6, 7, 8, 10, 0, 0, -1))
    os.utime(exe, (moment, moment))
    return f"SETUP_{(7 << 11) | (8 << 5) | (10 // 2)}"


@pytest.fixture
def elsewhere(workdir):
    """A tree that is not the stub's: a planted link leads here."""
    tree = workdir / "elsewhere"
    tree.mkdir()
    (tree / "keep.txt").write_text("not yours")
    (tree / "Engine.exe").write_bytes(b"MZ planted engine")
    return tree


def plant(kind, path, elsewhere):
    if kind == "file":
        path.write_bytes(b"MZ planted")
    elif kind == "link":
        os.symlink(elsewhere, path)
    else:  # a folder with an engine of someone else's in it
        (path / "sub").mkdir(parents=True)
        (path / "Engine.exe").write_bytes(b"MZ planted engine")
        (path / "sub" / "x.txt").write_text("planted")


@pytest.mark.parametrize("kind", ["file", "link", "folder"])
def test_nothing_planted_under_the_temporary_folder_name_is_taken_over(wine, setup_package, workdir, debug,
                                                                        elsewhere, kind):
    exe = setup_package()
    name = setup_folder_name(exe)
    planted = wine.prefix_temp() / name
    plant(kind, planted, elsewhere)
    try:
        assert run_setup(wine, exe) == 0
        (run,) = read_record(workdir / "record.txt")
        folder = run["folder"].rstrip("\\").split("\\")[-1]
        # The engine that ran is the package's, extracted into a folder made for this run.
        assert f"Engine.exe {engine_exe(wine).stat().st_size}" in run["files"]
        if kind == "folder":
            # A plain folder left from before is removed and made again: nothing planted survives.
            assert folder == name
            assert not planted.exists()
        else:
            assert folder.startswith(name + "_") and folder[len(name) + 1:].isdigit(), folder
            assert temp_setup_folders(wine) == [name]
            assert planted.is_symlink() == (kind == "link")
            if kind == "file":
                assert planted.read_bytes() == b"MZ planted"
        assert (elsewhere / "keep.txt").read_text() == "not yours"
        assert (elsewhere / "Engine.exe").read_bytes() == b"MZ planted engine"
        assert "in the way, left alone: " in debug.text() or kind == "folder"
    finally:
        if planted.is_symlink() or planted.is_file():
            planted.unlink()
        elif planted.exists():
            shutil.rmtree(planted)


@pytest.fixture
def tokened(wine, mkpkg, workdir):
    """Packages with the secret token given, their engine recording its run to record.txt."""
    def make(name, token, *extra):
        src = workdir / f"src-{name}"
        src.mkdir()
        (src / "Engine.ini").write_text(f"[Engine]\r\nExitCode=9\r\nRecordTo={win_path(workdir / 'record.txt')}\r\n")
        args = ["--file", f"Engine.exe={engine_exe(wine)}", "--file", f"Engine.ini={src / 'Engine.ini'}",
                "--main", "Engine.exe", *extra]
        if token:
            args += ["--token", token]
        return mkpkg(workdir / name, *args)
    return make


@pytest.mark.parametrize("stub_token, package_token, code", [
    ("Vendor-1", "Vendor-1", 9),
    ("Vendor-1", "vendor-1", 1620),
    ("Vendor-1", "", 1620),
    ("", "", 1620),  # without a token only the stub's own lead records pair, and these differ
], ids=["same-token", "other-case", "no-token", "untokened-other-records"])
def test_a_package_named_on_the_command_line_runs_only_when_it_is_this_stubs(wine, tokened, workdir, debug,
                                                                             stub_token, package_token, code):
    stub = tokened("setup.exe", stub_token)
    other = tokened("other.exe", package_token, "--info-file", "Other.info")
    assert run_setup(wine, stub, "/hide", f"/SpanDiskFName1={win_path(other)}") == code
    assert (workdir / "record.txt").exists() == (code == 9)
    if code != 9:
        assert f"==== /SpanDiskFName1= refused: the package does not belong to this stub: {win_path(other)}" \
            in debug.text()
    assert not temp_setup_folders(wine)


def test_a_foreign_package_is_refused_with_a_box(wine, tokened, workdir):
    stub = tokened("setup.exe", "Vendor-1")
    other = tokened("other.exe", "Vendor-2")
    run = StubRun(wine, stub, f"/SpanDiskFName1={win_path(other)}")
    box = msgbox.wait(wine)
    assert "Bad Secret Token!" in box.text and win_path(other) in box.text
    box.press("&OK")
    assert run.code() == 1620
    assert not (workdir / "record.txt").exists()


def test_a_setup_file_ignores_description_files_planted_beside_it(wine, setup_package, workdir, debug):
    """Only an agent copy, which lives in the installed product's folder, reads the shortcut
    keys; a setup file in Downloads would read what anybody put beside it."""
    links = workdir / "links"
    links.mkdir()
    (links / "Start Product.lnk").write_bytes(b"L\0\0\0")
    (workdir / "My.original").write_text(f"[UnInstall]\r\nStartUpLink={win_path(links / 'Start Product.lnk')}\r\n")
    (workdir / "My.Product.info").write_text("[NewSetup]\r\nRemoveStartUpShortcut=1\r\n")
    exe = setup_package("--info-file", "My.Product.info")
    assert run_setup(wine, exe) == 0
    assert (links / "Start Product.lnk").exists()
    assert "Shortcut" not in debug.text()
