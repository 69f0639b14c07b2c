"""Libraries planted beside the stub under system libraries' names are never loaded: the stub
restricts its library search to the system folder at start, binds its run-time libraries by
their full system path, and imports statically only libraries that Windows never takes from
the program's folder.

Wine prefers its own builtin libraries, so a planted one would be passed over anyway: these
tests tell Wine to prefer native libraries for the planted names, which makes it search the
way Windows does. Each planted library leaves a marker beside itself when it is loaded.
version.dll and imm32.dll are loaded by Wine itself before the program's first instruction
and are left out."""
import shutil

import pytest

import msgbox
from servers import nginx  # noqa: F401  (fixture)
from test_download_setup import DownloadSetup, code, served, stubpack  # noqa: F401

PLANTED = ["uxtheme", "dwmapi", "riched32", "riched20", "usp10", "msls31", "shfolder", "wininet", "winmm", "psapi",
           "comctl32"]


@pytest.fixture
def planting(wine):
    """plant(folder) puts the marker library there under every planted name; the programs
    started during the test prefer native libraries of those names."""
    library = wine.build / "tools" / "planted" / "planted.dll"
    saved = wine.env
    wine.env = dict(saved, WINEDLLOVERRIDES=",".join(PLANTED) + "=n,b")

    def plant(folder):
        for name in PLANTED:
            shutil.copy(library, folder / f"{name}.dll")
        return folder
    yield plant
    wine.env = saved


def markers(folder):
    return {p.name: p.read_text(errors="replace").split() for p in folder.glob("*.loaded")}


def test_a_setup_with_its_error_box_loads_no_planted_library(wine, workdir, planting):
    """Start-up, the window, the rich-text box and its script libraries."""
    exe = workdir / "setup.exe"
    shutil.copy(wine.stub_exe, exe)
    planting(workdir)
    rc, box = wine.run_answering_box(exe, cwd=workdir)
    assert rc == 1620 & 0xFF
    # The box's text control came from the system's rich-text library.
    assert "Bad CRC!" in box.text and box.bold_texts() == ["ERROR"]
    assert markers(workdir) == {}


def test_a_download_setup_loads_no_planted_library(wine, stubpack, nginx, workdir, planting):  # noqa: F811
    """The internet library, the timer library and the setup window's progress bar."""
    setup = DownloadSetup(wine, stubpack, workdir, exit_code=7)
    exe = setup.stub(served(nginx, "planted", setup.package.read_bytes()))
    planting(workdir)
    assert code(setup.start()) == 7
    assert len(setup.runs()) == 1
    assert markers(workdir) == {}
