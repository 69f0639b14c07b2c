"""The stub's start-up under Wine: which role a file plays, and what it says about it on the
debug channel and in the run log."""
import shutil
import time

import pytest

from conftest import Residents, run_log, wait_until, win_path


def run_stub(wine, exe, *args, code=0):
    """Runs the stub; the shell sees the low byte of its exit code (1620: package invalid)."""
    result = wine.run(exe, *args, cwd=exe.parent)
    assert result.returncode == code & 0xFF, result.stderr
    return result


def role_of(lines):
    roles = [l.split("Role=")[1].split()[0] for l in lines if " ==== Role=" in l]
    assert len(roles) == 1, lines
    return roles[0]


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


@pytest.mark.parametrize("name, role, log_name, prefix, window_class", [
    ("Agent.exe", "PlainAgent", "X_Agent.log", "   ", ".AutoUpdate.X_Agent"),
    ("AGENT.EXE", "PlainAgent", "X_AGENT.log", "   ", ".AutoUpdate.X_AGENT"),
    ("X_Agent.exe", "ResidentAgent", "X_Agent.log", " X ", ".AutoUpdate.X_Agent"),
    ("x_agent.EXE", "ResidentAgent", "X_x_agent.log", " X ", ".AutoUpdate.x_agent"),
    ("Other.exe", "Setup", "X_Other.log", "   ", ".AutoUpdate.Other"),
])
def test_agent_copy_roles_and_run_log(wine, debug, workdir, agent_package, residents, name, role, log_name, prefix,
                                      window_class):
    """Each name's role, up to the agent window it leads to, which is then stopped."""
    exe = workdir / name
    shutil.copy(agent_package, exe)
    residents.watch(window_class)
    if role == "PlainAgent":
        assert wine.run_detached(exe, cwd=workdir) == 0
    else:
        proc = wine.start(exe, cwd=workdir, quiet=True)
    assert wait_until(lambda: wine.window_info(window_class)), f"no window of class {window_class}"
    assert wine.post(window_class, Residents.WM_SHUTDOWN)
    assert wait_until(lambda: wine.window_info(window_class) is None)
    if role != "PlainAgent":
        assert proc.wait(30) == 0
    lines = debug.lines()
    pid = lines[0].split()[0]
    assert role_of([l for l in lines if l.startswith(pid + " ")]) == role
    assert any(l.endswith(" ==== ThisIs_AutoUpdateProg=TRUE") for l in lines)
    log = run_log(workdir / log_name)
    first = log[0][0]
    assert {p for t, p, _ in log if t == first} == {prefix}
    messages = [m for t, _, m in log if t == first]
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


def test_log_flag_off_writes_no_log(wine, mkpkg, debug, workdir, residents):
    exe = mkpkg(workdir / "Agent.exe", "--agent-copy", "--agent-file", "Agent.exe")
    residents.watch(".AutoUpdate.X_Agent")
    assert wine.run_detached(exe, cwd=workdir) == 0
    assert wait_until(lambda: wine.window_info(".AutoUpdate.X_Agent"))
    lines = debug.lines()
    assert role_of([l for l in lines if l.startswith(lines[0].split()[0] + " ")]) == "PlainAgent"
    assert not list(workdir.glob("*.log"))


@pytest.mark.parametrize("level, deleted", [(2, True), (7, False)])
def test_temporary_copy_switch_deletes_the_stub_after_its_setup(wine, mkpkg, debug, workdir, level, deleted):
    """"/SpanCdLvl=2" marks the temporary copy of a relaunch: after its setup it deletes itself
    and its folder (when empty). Here the stub runs where it lies, in a folder of its own."""
    folder = workdir / "copy"
    folder.mkdir()
    exe = mkpkg(folder / "setup.exe", "--run-from-temp-copy", "--level", "0")
    result = wine.run(exe, f"/SpanCdLvl={level}", cwd=workdir)
    # The package marks no program to start (1620, whose low byte the shell sees).
    assert result.returncode == 1620 & 0xFF, result.stderr
    lines = debug.lines()
    assert role_of(lines) == "Setup"
    assert any(" DeleteMySelf: " in l for l in lines) == deleted
    if deleted:
        assert wait_until(lambda: not folder.exists()), list(folder.iterdir())
    else:
        time.sleep(1)
        assert exe.exists()


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
