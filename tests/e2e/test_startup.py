"""The stub's start-up under Wine: which role a file plays, and what it says about it on the
debug channel and in the run log."""
import re
import shutil
import time

import pytest

from conftest import win_path

LOG_LINE = re.compile(r"^\d\d/\d\d/\d\d \d\d:\d\d:\d\d [ \d]{4}\d+(   | X )(.*)$")


def run_stub(wine, exe, *args, code=0):
    """Runs the stub; the shell sees the low byte of its exit code (1620: package invalid)."""
    result = wine.run(exe, *args, cwd=exe.parent)
    assert result.returncode == code & 0xFF, result.stderr
    return result


def role_of(lines):
    roles = [l.split("Role=")[1].split()[0] for l in lines if " ==== Role=" in l]
    assert len(roles) == 1, lines
    return roles[0]


def log_messages(path):
    """The messages of the run log, each with its prefix."""
    out = []
    for line in path.read_bytes().decode("latin-1").split("\r\n")[:-1]:
        m = LOG_LINE.match(line)
        assert m, f"bad log line {line!r}"
        out.append((m.group(1), m.group(2)))
    return out


@pytest.fixture
def agent_package(wine, mkpkg, workdir):
    """An agent copy whose package names Agent.exe and asks for the run log."""
    return mkpkg(workdir / "agent.bin", "--agent-copy", "--agent-file", "Agent.exe", "--log",
                 "--update-url", "http://127.0.0.1:1/upd", "--info-file", "Product.info")


def test_bare_stub_is_a_setup_stub_and_writes_no_log(wine, debug, workdir):
    exe = workdir / "setup.exe"
    shutil.copy(wine.stub_exe, exe)
    # Without a package the setup run finds nothing to check: the bad-checksum box.
    rc, box = wine.run_answering_box(exe, "/x", "/y=1", cwd=workdir)
    assert rc == 1620 & 0xFF
    assert "Bad CRC!" in box.text
    lines = debug.lines()
    pid = lines[0].split()[0]
    assert lines[0] == f'{pid} ==== STUB START ====> "{win_path(exe)}" /x /y=1<'
    assert f"{pid} ==== ThisIs_AutoUpdateProg=FALSE" in lines
    assert role_of(lines) == "Setup"
    assert lines[-1] == f'{pid} ==== STUB END ====> "{win_path(exe)}" /x /y=1<'
    # The end line is followed by an empty line.
    assert debug.text().endswith("<\r\n\r\n")
    assert sorted(p.name for p in workdir.iterdir()) == ["setup.exe"]


@pytest.mark.parametrize("name, role, log_name, prefix", [
    ("Agent.exe", "PlainAgent", "X_Agent.log", "   "),
    ("AGENT.EXE", "PlainAgent", "X_AGENT.log", "   "),
    ("X_Agent.exe", "ResidentAgent", "X_Agent.log", " X "),
    ("x_agent.EXE", "ResidentAgent", "X_x_agent.log", " X "),
    ("Other.exe", "Setup", "X_Other.log", "   "),
])
def test_agent_copy_roles_and_run_log(wine, debug, workdir, agent_package, name, role, log_name, prefix):
    exe = workdir / name
    shutil.copy(agent_package, exe)
    run_stub(wine, exe)
    lines = debug.lines()
    assert role_of(lines) == role
    assert any(l.endswith(" ==== ThisIs_AutoUpdateProg=TRUE") for l in lines)
    log = log_messages(workdir / log_name)
    assert {p for p, _ in log} == {prefix}
    messages = [m for _, m in log]
    wpath = win_path(exe)
    assert messages[:5] == ["", "", f"=== START === {wpath}", f'CommandLine="{wpath}"', "Agent Version=1.0.0.1"]
    assert messages[5:9] == [
        "DoRunStubWin() --- Start", "X_ExeIsRunning=FALSE",
        f"ThisIs_Plain_AutoUpdate_Exe={'TRUE' if role == 'PlainAgent' else 'FALSE'}",
        f"ThisIs_X_AutoUpdate_Exe={'TRUE' if role == 'ResidentAgent' else 'FALSE'}"]
    assert messages[-3:] == ["DoRunStubWin() --- End", f"=== EXIT === {wpath}", ""]
    if role == "PlainAgent":
        assert "HandleParamOK() --- Start" in messages
        assert any(l.endswith(" CreateAndRun_X_Exe-1 ") for l in lines)
    if role == "ResidentAgent":
        assert messages[9:12] == ["CheckTestMode", "WinMain", "DeleteMySelf"]


def test_log_flag_off_writes_no_log(wine, mkpkg, debug, workdir):
    exe = mkpkg(workdir / "Agent.exe", "--agent-copy", "--agent-file", "Agent.exe")
    run_stub(wine, exe)
    assert role_of(debug.lines()) == "PlainAgent"
    assert not list(workdir.glob("*.log"))


@pytest.mark.parametrize("args, role, note, code", [
    ((), "Relaunch", "would copy itself to the temporary folder", 0),
    (("/SpanCdLvl=1",), "Relaunch", "would copy itself to the temporary folder", 0),
    # The package marks no program to start.
    (("/SpanCdLvl=2",), "Setup", "would delete this temporary copy and its folder", 1620),
    (("/SpanCdLvl=7",), "Setup", "ROLE Setup: runs the stub window", 1620),
])
def test_relaunch_and_temporary_copy_switches(wine, mkpkg, debug, workdir, args, role, note, code):
    exe = mkpkg(workdir / "setup.exe", "--run-from-temp-copy", "--level", "0")
    run_stub(wine, exe, *args, code=code)
    lines = debug.lines()
    assert role_of(lines) == role
    assert any(note in l for l in lines), lines


def test_second_start_of_a_setup_file_ends_at_once(wine, debug, workdir):
    exe = workdir / "setup.exe"
    shutil.copy(wine.stub_exe, exe)
    holder = wine.hold_window(win_path(exe))  # the first start's window: class = full path
    try:
        run_stub(wine, exe, code=1618)  # another run of this setup is in progress
    finally:
        holder.kill()
    lines = debug.lines()
    assert role_of(lines) == "AlreadyRunning"
    assert not any(" ROLE " in l for l in lines)
    assert " ==== STUB END ====> " in lines[-1]


def test_commands_reach_the_resident_copy(wine, debug, workdir, agent_package):
    """The plain agent forwards /STOP=, /WM_MSG= and /TEST= to the resident copy's window."""
    agent = workdir / "Agent.exe"
    shutil.copy(agent_package, agent)
    shutil.copy(agent_package, workdir / "X_Agent.exe")
    resident = wine.hold_window(".AutoUpdate.X_Agent")
    try:
        run_stub(wine, agent, "/STOP=3", "/WM_MSG=1234:49000", "/TEST=2", "/TRANSIENTx=|1|")
        # A second resident copy does not start while the first one's window exists.
        run_stub(wine, workdir / "X_Agent.exe")
        time.sleep(0.3)
    finally:
        resident.kill()
    received = [l.strip() for l in resident.stdout.read().splitlines()]
    assert received == ["msg 1123 3 0", "msg 1124 1234 49000", "msg 1125 31 2"]
    messages = [m for _, m in log_messages(workdir / "X_Agent.log")]
    wx = win_path(workdir / "X_Agent.exe")
    assert "X_ExeIsRunning=TRUE" in messages
    assert f"PostProcessMessage(wm_ShutDown) to: {wx}" in messages
    assert f"PostProcessMessage(wm_LocalMsg) to: {wx} - :1234:49000:" in messages
    assert f"PostProcessMessage(wm_AgentMsg) to: {wx} - AU_PerformUpdateCycle (2)" in messages
    assert role_of([l for l in debug.lines() if "X_Agent.exe" in l or "Role=" in l][-3:]) == "AlreadyRunning"
