"""Checks the built stub.exe: the header layout the package reader relies on, that it needs
no DLL a clean Windows lacks, its icon, manifest and version resources, and its size."""
import os
import re
import shutil
import subprocess
import xml.etree.ElementTree as ElementTree
from pathlib import Path

import pytest

import pe

REPO = Path(__file__).resolve().parents[2]
DIST = Path(os.environ.get("STUB_DIST", REPO / "dist"))
STUB = DIST / "stub.exe"

SYSTEM_DLLS = {"kernel32", "user32", "gdi32", "comctl32", "advapi32", "shell32", "msvcrt", "ole32",
               "oleaut32", "shlwapi", "version", "comdlg32", "winmm"}
# The most the product, the i686 stub.exe, may weigh. It travels in front of every package
# and every agent copy; `python3 scripts/size_report.py` shows where its bytes go. 200 KB held
# up to the download setups; the update cycle, the hardened start-up and the writer thread
# brought it to 207,872 bytes, so the check now stops growth past 208 KiB while the room is
# won back.
SIZE_LIMIT = 212_992
ASM_V1 = "{urn:schemas-microsoft-com:asm.v1}"
ASM_V3 = "{urn:schemas-microsoft-com:asm.v3}"


@pytest.fixture(scope="module")
def stub():
    if not STUB.is_file():
        pytest.skip("%s has not been built" % STUB)
    return pe.PeFile(STUB.read_bytes())


@pytest.fixture(scope="module")
def resources(stub):
    return stub.resources()


def test_headers_sit_at_256_after_an_empty_logical_length(stub):
    assert stub.data[:2] == b"MZ"
    assert stub.e_lfanew == 256
    assert stub.data[256:260] == b"PE\0\0"
    assert stub.data[248:256] == bytes(8)
    assert stub.header_end <= stub.size_of_headers
    assert all(s.raw_pointer >= stub.header_end for s in stub.sections if s.raw_size)


def test_product_stub_stays_within_its_size_limit():
    # The i686 build is made on every machine, also where only the x86-64 twin can run.
    product = REPO / "build" / "win" / "stub.exe"
    assert product.is_file(), "%s has not been built (bash scripts/build.sh)" % product
    size = product.stat().st_size
    assert size <= SIZE_LIMIT, "stub.exe is %d bytes, %d over the limit of %d" % (size, size - SIZE_LIMIT, SIZE_LIMIT)


def test_is_a_32_bit_gui_program(stub):
    assert stub.machine == 0x14C
    assert stub.magic == 0x10B
    assert stub.subsystem == 2


def test_imports_only_dlls_that_ship_with_windows(stub):
    dlls = [name.lower() for name in stub.imported_dlls()]
    assert "kernel32.dll" in dlls
    foreign = [name for name in dlls if not name.endswith(".dll") or name[:-4] not in SYSTEM_DLLS]
    assert foreign == [], "imports DLLs a clean Windows does not have"


def test_main_icon_has_the_usual_sizes(resources):
    group = resources.get(pe.RT_GROUP_ICON, {}).get("MAINICON")
    assert group, "no icon group named MainIcon"
    entries = pe.icon_group(next(iter(group.values())))
    assert {(16, 16), (32, 32), (48, 48)} <= {(w, h) for w, h, _, _ in entries}
    icons = resources.get(pe.RT_ICON, {})
    for _, _, _, icon_id in entries:
        assert icon_id in icons, "group entry refers to a missing icon %d" % icon_id


def test_manifest_asks_for_elevation_and_common_controls_6(resources):
    manifests = resources.get(pe.RT_MANIFEST, {})
    assert 1 in manifests, "no manifest with id 1"
    text = next(iter(manifests[1].values()))
    root = ElementTree.fromstring(text)

    levels = [e.attrib for e in root.iter(ASM_V3 + "requestedExecutionLevel")]
    assert levels == [{"level": "requireAdministrator", "uiAccess": "false"}]

    controls = [e.attrib for e in root.iter(ASM_V1 + "assemblyIdentity")
                if e.get("name") == "Microsoft.Windows.Common-Controls"]
    assert len(controls) == 1
    assert controls[0]["version"] == "6.0.0.0"
    assert controls[0]["publicKeyToken"] == "6595b64144ccf1df"
    assert controls[0]["processorArchitecture"] == "*"


def test_version_resource_matches_version_header(resources):
    versions = resources.get(pe.RT_VERSION, {})
    assert versions, "no version resource"
    version, strings = pe.version_info(next(iter(next(iter(versions.values())).values())))

    header = (REPO / "res" / "version.h").read_text()
    numbers = tuple(int(re.search(r"#define STUB_VERSION_%s (\d+)" % part, header).group(1))
                    for part in ("MAJOR", "MINOR", "RELEASE", "BUILD"))
    assert version == numbers
    assert strings["FileVersion"] == strings["ProductVersion"] == ".".join(map(str, numbers))
    assert strings["OriginalFilename"] == "stub.exe"


@pytest.fixture
def pefix():
    tool = DIST / "pefix"
    if not tool.is_file():
        pytest.skip("%s has not been built" % tool)
    return tool


def test_pefix_leaves_a_fixed_stub_as_it_is(pefix, tmp_path):
    if not STUB.is_file():
        pytest.skip("%s has not been built" % STUB)
    copy = tmp_path / "stub.exe"
    shutil.copyfile(STUB, copy)
    result = subprocess.run([str(pefix), str(copy)], capture_output=True, text=True)
    assert result.returncode == 0, result.stderr
    assert copy.read_bytes() == STUB.read_bytes()


def test_pefix_refuses_a_file_that_is_no_program(pefix, tmp_path):
    target = tmp_path / "notes.txt"
    target.write_bytes(b"MZ but nothing else")
    result = subprocess.run([str(pefix), str(target)], capture_output=True, text=True)
    assert result.returncode != 0
    assert "not an MZ executable" in result.stderr
    assert target.read_bytes() == b"MZ but nothing else"
    assert [p.name for p in tmp_path.iterdir()] == ["notes.txt"]
