"""Packages signed after building: an Authenticode signature appended past the logical end
verifies, and the package still reads (natively and in the stub under Wine). The order is
build, then sign."""
import json
import shutil
import subprocess

import pytest

from conftest import wait_until
from test_stubpack import check_package, find_stub, stubpack, tree, payload  # noqa: F401 (fixtures)

OSSLSIGNCODE = shutil.which("osslsigncode")
OPENSSL = shutil.which("openssl")

pytestmark = pytest.mark.skipif(not OSSLSIGNCODE or not OPENSSL, reason="osslsigncode and openssl are needed")


@pytest.fixture(scope="module")
def certificate(tmp_path_factory):
    """A self-signed code-signing certificate made for this run."""
    d = tmp_path_factory.mktemp("cert")
    subprocess.run([OPENSSL, "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", d / "key.pem",
                    "-out", d / "cert.pem", "-days", "2", "-subj", "/CN=Stub Test Vendor",
                    "-addext", "extendedKeyUsage=codeSigning"], check=True, capture_output=True)
    return d / "cert.pem", d / "key.pem"


def sign(certificate, unsigned, signed):
    cert, key = certificate
    subprocess.run([OSSLSIGNCODE, "sign", "-certs", cert, "-key", key, "-n", "Setup", "-h", "sha256",
                    "-in", unsigned, "-out", signed], check=True, capture_output=True)
    verified = subprocess.run([OSSLSIGNCODE, "verify", "-CAfile", cert, signed], capture_output=True, text=True)
    assert verified.returncode == 0, verified.stdout + verified.stderr
    assert "Signature verification: ok" in verified.stdout


def test_signed_package_verifies_and_still_reads(stubpack, payload, certificate, tmp_path):  # noqa: F811
    stub = find_stub()
    if not stub.is_file():
        pytest.skip(f"{stub} is not built")
    unsigned, signed = tmp_path / "unsigned.exe", tmp_path / "Setup.exe"
    stubpack("build", "--stub", stub, "--out", unsigned, "--main", "Engine.exe", payload)
    sign(certificate, unsigned, signed)
    data = signed.read_bytes()
    assert len(data) > unsigned.stat().st_size
    # The independent reading finds the same package before the signature, checksum included.
    assert check_package(signed)["files"] == tree(payload)
    view = json.loads(stubpack("inspect", signed, "--json").stdout)
    disk = view["disks"][0]
    assert view["problems"] == []
    assert disk["checksum_ok"] and disk["trailer"]["checksum"] == disk["checksum_computed"] != 1234
    assert disk["bytes_after_end"] == len(data) - disk["end"] > 0
    assert disk["certificate_table"]["offset"] >= disk["end"]
    assert disk["certificate_table"]["offset"] + disk["certificate_table"]["size"] == len(data)
    stubpack("extract", signed, tmp_path / "x")
    assert tree(tmp_path / "x") == tree(payload)


def test_signed_agent_copy_runs_as_the_agent(wine, debug, stubpack, certificate, tmp_path, residents):  # noqa: F811
    unsigned = tmp_path / "unsigned.exe"
    stubpack("build", "--stub", wine.stub_exe, "--out", unsigned, "--agent-copy", "--agent-file", "Agent.exe",
             "--update-url", "http://127.0.0.1:1/upd", "--info-file", "Product.info")
    agent = tmp_path / "Agent.exe"
    sign(certificate, unsigned, agent)
    residents.watch(".AutoUpdate.X_Agent")
    assert wine.run_detached(agent, cwd=tmp_path) == 0
    # Its resident copy, signed as well, reads its package too.
    assert wait_until(lambda: wine.window_info(".AutoUpdate.X_Agent"))
    assert (tmp_path / "X_Agent.exe").read_bytes() == agent.read_bytes()
    lines = debug.lines()
    assert any(line.endswith(" ==== ThisIs_AutoUpdateProg=TRUE") for line in lines), lines
    roles = [line.split("Role=")[1].split()[0] for line in lines if " ==== Role=" in line]
    assert roles == ["PlainAgent", "ResidentAgent"], lines
