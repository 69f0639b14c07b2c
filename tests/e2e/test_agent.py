"""The agent's life under Wine: the plain agent makes and starts its resident copy, forwards
its switches to it, the copy runs its timer until it is told to stop and then deletes itself;
a restart replaces the copy; a setup relaunches from a temporary copy that removes itself.
Every copy a test starts is stopped by the residents fixture (conftest)."""
import getpass
import os
import re
import shutil
import time

import pytest

from conftest import run_log, wait_until, win_path
from test_stubpack import stubpack  # noqa: F401 (fixture)

AGENT_CLASS = ".AutoUpdate.X_Agent"
WM_SHUTDOWN, WM_DESTROY = 1123, 2


@pytest.fixture
def agent(wine, mkpkg, workdir, residents):
    """An agent copy named Agent.exe with the run log on, in a folder whose name holds a blank."""
    folder = workdir / "Vendor Product"
    folder.mkdir()
    residents.watch(AGENT_CLASS)
    return mkpkg(folder / "Agent.exe", "--agent-copy", "--agent-file", "Agent.exe", "--log",
                 "--update-url", "http://127.0.0.1:1/upd", "--info-file", "Product.info")


def run(wine, exe, *args):
    assert wine.run_detached(exe, *args, cwd=exe.parent) == 0


def resident(wine, class_name=AGENT_CLASS):
    info = wait_until(lambda: wine.window_info(class_name))
    assert info, f"no window of class {class_name}"
    return info


def lines_of(debug, pid):
    return [line[len(str(pid)):] for line in debug.lines() if line.startswith(f"{pid} ")]


def messages(log, prefix=None, thread=None):
    return [m for t, p, m in log if (prefix is None or p == prefix) and (thread is None or t == thread)]


def in_order(wanted, lines):
    """True when the wanted lines occur in lines in this order (others may come between)."""
    it = iter(lines)
    return all(any(w == line for line in it) for w in wanted)


def test_plain_agent_starts_a_hidden_resident_copy(wine, debug, agent):
    x = agent.with_name("X_Agent.exe")
    run(wine, agent)
    info = resident(wine)
    assert x.read_bytes() == agent.read_bytes()
    assert info["exe"].lower() == win_path(x).lower()
    assert not info["visible"]
    # A second start of the copy finds its window and ends at once.
    run(wine, x)
    assert wine.window_info(AGENT_CLASS)["pid"] == info["pid"]

    log = run_log(agent.with_name("X_Agent.log"))
    wa, wx = win_path(agent), win_path(x)
    plain = messages(log, "   ")
    assert in_order([f"=== START === {wa}", "DoRunStubWin() --- Start", "X_ExeIsRunning=FALSE",
                     "ThisIs_Plain_AutoUpdate_Exe=TRUE", "CreateAndRun_X_Exe() --- Start", "Wait 0 SEC",
                     "Create X_ File ", f'WinExec: "{wx}"', "CreateAndRun_X_Exe() --- End",
                     "HandleParamOK() --- Start", "HandleParamOK() --- End", "DoRunStubWin() --- End",
                     f"=== EXIT === {wa}"], plain), plain
    copies = [t for t, p, m in log if p == " X " and m.startswith("=== START ===")]
    assert len(copies) == 2  # the resident copy and its second start
    first, second = (messages(log, thread=t) for t in copies)
    assert in_order([f"=== START === {wx}", f'CommandLine="{wx}"', "X_ExeIsRunning=FALSE",
                     "ThisIs_X_AutoUpdate_Exe=TRUE", "CheckTestMode", "WinMain"], first), first
    assert "WinMain" not in second and "X_ExeIsRunning=TRUE" in second
    assert lines_of(debug, info["pid"])[:3] == [
        f' ==== STUB START ====> "{wx}"<', " ==== ThisIs_AutoUpdateProg=TRUE",
        f" ==== Role=ResidentAgent Class={AGENT_CLASS}"]


@pytest.mark.parametrize("stop, ticks", [(0, 1), (2, 3)])
def test_stop_ends_the_copy_which_deletes_itself(wine, debug, agent, stop, ticks):
    run(wine, agent)
    pid = resident(wine)["pid"]
    run(wine, agent, f"/STOP={stop}")
    assert wait_until(lambda: wine.window_info(AGENT_CLASS) is None)
    x, batch = agent.with_name("X_Agent.exe"), wine.prefix_temp() / f"_DEL_ME_{pid}.BAT"
    assert wait_until(lambda: not x.exists() and not batch.exists()), "the copy or its batch file stayed"
    assert agent.exists()
    copy = lines_of(debug, pid)
    after = copy[copy.index(f" wm_ShutDown {stop}"):]
    end = next(i for i, line in enumerate(after) if line.startswith(" ==== STUB END"))
    assert sum(line.startswith(" AutoUpdateTimerCount=") for line in after[:end]) == ticks
    # The stopping start made no second copy.
    log = run_log(agent.with_name("X_Agent.log"))
    stopper = [t for t, p, m in log if m == f'CommandLine="{win_path(agent)}" /STOP={stop}']
    assert len(stopper) == 1
    stopping = messages(log, thread=stopper[0])
    assert "X_ExeIsRunning=TRUE" in stopping and "Create X_ File " not in stopping
    assert f"PostProcessMessage(wm_ShutDown) to: {win_path(x)}" in stopping


@pytest.mark.parametrize("running, test, shutdown", [(False, 2, True), (True, 2, False), (False, 0, False)])
def test_test_switch_and_notifications(wine, debug, agent, running, test, shutdown):
    """/TEST= forces an update check (a test cycle for 2); a copy started only for it quits two
    ticks later. /WM_MSG= registers a window for the copy's notifications."""
    if running:
        run(wine, agent)
        resident(wine)
    listener = wine.hold_window("StubTestListener", 120)
    try:
        run(wine, agent, f"/TEST={test}", f"/WM_MSG={listener.hwnd}:49000")
        # With switches given, the plain agent waits for the copy's window before it posts.
        info = wine.window_info(AGENT_CLASS)
        assert info
        if not shutdown:
            time.sleep(3)  # a copy that was not told to stop keeps running
            assert wine.window_info(AGENT_CLASS)
            wine.post(AGENT_CLASS, WM_SHUTDOWN)
        assert wait_until(lambda: wine.window_info(AGENT_CLASS) is None)
        time.sleep(0.5)
    finally:
        listener.kill()
    received = [line.strip() for line in listener.stdout.read().splitlines()]
    assert received == [f"msg 49000 50 {info['handle']}", "msg 49000 51 1125",
                        "msg 49000 43 0"]
    copy = lines_of(debug, info["pid"])
    assert f" wm_LocalMsg {listener.hwnd} 49000" in copy
    assert f" wm_AgentMsg 31 {test}" in copy
    assert (" wm_ShutDown 2" in copy) == shutdown
    assert " PerformShot: the update cycle is not built yet" in copy
    assert (" the pre-probe question: the update cycle is not built yet" in copy) == (test == 2)
    log = messages(run_log(agent.with_name("X_Agent.log")), "   ")
    wx = win_path(agent.with_name("X_Agent.exe"))
    assert f"PostProcessMessage(wm_LocalMsg) to: {wx} - :{listener.hwnd}:49000:" in log
    assert f"PostProcessMessage(wm_AgentMsg) to: {wx} - AU_PerformUpdateCycle ({test})" in log


def test_overrides_and_delay_reach_the_copy(wine, debug, agent):
    run(wine, agent, "/TRANSIENT=|1|0|", "/DELAY=0")
    pid = resident(wine)["pid"]
    assert wait_until(lambda: any(line.startswith(" AutoUpdateTimerCount=") for line in lines_of(debug, pid)))
    # "/SleepX=0": the first tick already counts 1.
    ticks = [line for line in lines_of(debug, pid) if line.startswith(" AutoUpdateTimerCount=")]
    assert ticks[0] == " AutoUpdateTimerCount=1"
    copy = messages(run_log(agent.with_name("X_Agent.log")), " X ")
    wx = win_path(agent.with_name("X_Agent.exe"))
    assert f'CommandLine="{wx}" /TRANSIENTx=|1|0| /SleepX=0' in copy
    assert "Overrides=|1|0|255|255|255|255|255|255|" in copy


def test_agent_copy_under_another_name_runs_and_stays(wine, debug, agent, residents):
    other = agent.with_name("Other.exe")
    shutil.copy(agent, other)
    residents.watch(".AutoUpdate.Other")
    proc = wine.start(other, cwd=other.parent, quiet=True)
    info = resident(wine, ".AutoUpdate.Other")
    assert info["exe"].lower() == win_path(other).lower()
    assert wait_until(lambda: " AutoUpdateTimerCount=-2" in lines_of(debug, info["pid"]))
    assert wine.post(".AutoUpdate.Other", WM_SHUTDOWN)
    assert proc.wait(30) == 0
    assert other.exists()
    assert not any("DeleteMySelf" in line for line in lines_of(debug, info["pid"]))
    assert not (wine.prefix_temp() / f"_DEL_ME_{info['pid']}.BAT").exists()


def test_restart_waits_for_the_old_copy_and_replaces_its_file(wine, debug, mkpkg, agent):
    """"/_ZZ=99" starts a new copy while the old one runs: the plain agent waits its "/WAIT="
    seconds and then for the old copy to end before it copies over the old file."""
    x = agent.with_name("X_Agent.exe")
    mkpkg(x, "--agent-copy", "--agent-file", "Agent.exe", "--log", "--update-url", "http://127.0.0.1:1/old",
          "--info-file", "Product.info")
    old = x.read_bytes()
    assert old != agent.read_bytes()
    old_copy = wine.start(x, cwd=x.parent, quiet=True)
    old_pid = resident(wine)["pid"]
    restart = wine.start(agent, "/_ZZ=99", "/WAIT=1", cwd=agent.parent, quiet=True)
    log = agent.with_name("X_Agent.log")
    assert wait_until(lambda: "Wait 1 SEC" in messages(run_log(log), "   "))
    time.sleep(3)  # past the fixed wait, the old copy still runs: its file stays
    assert x.read_bytes() == old
    assert wine.post(AGENT_CLASS, WM_DESTROY)  # as the restart ends the old copy
    assert restart.wait(90) == 0
    assert old_copy.wait(30) == 0
    info = resident(wine)
    assert info["pid"] != old_pid
    assert x.read_bytes() == agent.read_bytes()
    assert "Create X_ File " in messages(run_log(log), "   ")


def test_a_stale_file_that_cannot_be_replaced_is_not_started(wine, debug, mkpkg, agent):
    x = agent.with_name("X_Agent.exe")
    mkpkg(x, "--agent-copy", "--agent-file", "Agent.exe", "--update-url", "http://127.0.0.1:1/old")
    old = x.read_bytes()
    holder = wine.start(wine.tool("wintest"), "hold-file", win_path(x), 60)  # the copy over it fails
    try:
        assert holder.stdout.readline().strip() == "ready"
        run(wine, agent)
        time.sleep(2)
        assert wine.window_info(AGENT_CLASS) is None
    finally:
        holder.kill()
        holder.wait(30)
    assert x.read_bytes() == old
    plain = messages(run_log(agent.with_name("X_Agent.log")), "   ")
    assert any(m.startswith("Create X_ File failed: ") for m in plain), plain
    assert f"The X_ file is not this agent; it is not started: {win_path(x)}" in plain
    assert not any(m.startswith("WinExec: ") for m in plain)


# ---------------------------------------------------------------------------------------------
# The relaunch from a temporary copy


@pytest.fixture
def relaunching_setup(wine, stubpack, workdir):  # noqa: F811
    """A setup set built with --run-from-temp-copy in a folder whose name holds a blank: the
    stub file, setup.exe.001 and .002. Its engine records its run and exits with 7."""
    payload = workdir / "payload"
    payload.mkdir()
    shutil.copy(wine.build / "tools" / "engine" / "Engine.exe", payload / "Engine.exe")
    record = workdir / "record.txt"
    (payload / "Engine.ini").write_text(f"[Engine]\r\nExitCode=7\r\nRecordTo={win_path(record)}\r\n")
    (payload / "big.dat").write_bytes(os.urandom(300000))
    folder = workdir / "Setup Disk"
    folder.mkdir()
    setup = folder / "setup.exe"
    size = wine.stub_exe.stat().st_size + 200000
    stubpack("build", "--stub", wine.stub_exe, "--out", setup, "--main", "Engine.exe", "--run-from-temp-copy",
             "--hide", "--disk-size", size, "--quiet", payload)
    assert sorted(p.name for p in folder.iterdir()) == ["setup.exe", "setup.exe.001", "setup.exe.002"]
    return setup, record


def full_exit_code(wine, command_line):
    r = wine.run(wine.tool("wintest"), "run", command_line)
    assert r.stdout.startswith("exit "), r.stdout + r.stderr
    return int(r.stdout.split()[1])


def test_relaunch_runs_the_setup_from_a_temporary_copy(wine, debug, relaunching_setup):
    setup, record = relaunching_setup
    ws = win_path(setup)
    # The started stub ends at once with success; the engine's 7 stays with the copy.
    assert full_exit_code(wine, f'"{ws}" /x') == 0
    assert wait_until(lambda: record.exists() and "end" in record.read_text().split(), timeout=60)
    run = dict(line.split("=", 1) for line in record.read_text().splitlines() if "=" in line)
    folder = run["folder"].rstrip("\\")
    tid = run["commandline"].split("/TH_ID=_")[1]
    assert run["commandline"] == f'{folder}\\Engine.exe /x /OriginExe="{ws}" /TH_ID=_{tid}'
    lines = debug.lines()
    tail = f'/x /SpanCdLvl=2 /SpanDiskFName1="{ws}.001" /OriginExe="{ws}"'
    relaunch = [line for line in lines if line.endswith(f"\\Y_setup.exe {tail}") and " Relaunch: " in line]
    assert relaunch, lines
    copy = relaunch[0].split(" Relaunch: ", 1)[1][:-len(tail) - 1]
    assert any(line.endswith(f" ==== STUB START ====> {copy} {tail}<") for line in lines)
    # The folder the copy was put in holds it already: it extracts into one made fresh for it.
    copy_folder = copy.rsplit("\\", 1)[0]
    assert re.fullmatch(re.escape(copy_folder) + r"_\d+", folder), (copy_folder, folder)
    # Afterwards the copy and both folders are gone.
    for name in (folder, copy_folder):
        temp_folder = wine.prefix_temp() / name.split("\\")[-1]
        assert wait_until(lambda: not temp_folder.exists(), timeout=30), list(temp_folder.iterdir())
    assert not list(wine.prefix_temp().glob("_DEL_ME_*.BAT"))


def temp_folder_of(wine, setup):
    """The temporary folder the stub makes, named after its file's time word: here 07:08:10."""
    moment = time.mktime((2024, 5, 6, 7, 8, 10, 0, 0, -1))
    os.utime(setup, (moment, moment))
    return wine.prefix_temp() / f"SETUP_{(7 << 11) | (8 << 5) | (10 // 2)}"


def test_relaunch_with_a_file_in_the_way_of_its_folder_copies_itself_elsewhere(wine, debug, relaunching_setup):
    """A file planted under the temporary folder's name is neither used nor removed: the copy
    goes to a folder made fresh under another name, and the setup runs from there."""
    setup, record = relaunching_setup
    blocker = temp_folder_of(wine, setup)
    blocker.write_text("a file in the way of the folder")
    try:
        assert full_exit_code(wine, f'"{win_path(setup)}"') == 0
        assert wait_until(lambda: record.exists() and "end" in record.read_text().split(), timeout=60)
        assert blocker.read_text() == "a file in the way of the folder"
    finally:
        blocker.unlink()
    relaunch = [line for line in debug.lines() if " Relaunch: " in line]
    assert any(f"\\{blocker.name}_" in line and "\\Y_setup.exe " in line for line in relaunch), relaunch


def test_second_start_while_the_copy_runs_ends_at_once(wine, debug, relaunching_setup):
    setup, record = relaunching_setup
    copy = f"C:\\users\\{getpass.getuser()}\\Temp\\{temp_folder_of(wine, setup).name}\\Y_setup.exe"
    holder = wine.hold_window(copy)  # the first start's copy: its class is its path
    try:
        assert full_exit_code(wine, f'"{win_path(setup)}"') == 1618
    finally:
        holder.kill()
    assert any(line.endswith(f" Relaunch: the temporary copy runs already: {copy}") for line in debug.lines())
    assert not temp_folder_of(wine, setup).exists()
    assert not record.exists()
