"""What the benchmarks share: the Wine set-up of scripts/env.sh, a display and a warm
wineserver, and Windows paths for host files."""
import contextlib
import os
import subprocess
import time
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
# ../shared beside the checkout, or beside the folder of worktrees a checkout may sit in.
PAYLOAD_SCRIPT = next((p / "shared" / "bench" / "make_payload.py" for p in REPO.parents
                       if (p / "shared" / "bench" / "make_payload.py").exists()),
                      REPO.parent / "shared" / "bench" / "make_payload.py")


def wine_env():
    """The environment the tests run Windows programs in (STUB_WINE, STUB_TEST_BUILD, WINE*)."""
    out = subprocess.run(["bash", "-c", ". scripts/env.sh; stub_detect_wine; env"], cwd=REPO, capture_output=True,
                         text=True, check=True).stdout
    env = dict(os.environ)
    for line in out.splitlines():
        key, _, value = line.partition("=")
        if key.startswith(("STUB_", "WINE")):
            env[key] = value
    return env


def win_path(path):
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


@contextlib.contextmanager
def wine_session(env, build):
    """A display (Xvfb when there is none), a persistent wineserver and one GUI process kept
    alive for the whole run, so Wine's own start-up stays out of the figures."""
    started = []
    own_display = False
    try:
        if not env.get("DISPLAY"):
            for n in range(60, 70):
                if not Path(f"/tmp/.X11-unix/X{n}").exists() and not Path(f"/tmp/.X{n}-lock").exists():
                    break
            started.append(subprocess.Popen(["Xvfb", f":{n}", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
            env["DISPLAY"] = f":{n}"
            own_display = True
            time.sleep(1)
        # The server outlives this run: it must not hold our output open.
        subprocess.run(["wineserver", "-p"], env=env, check=False, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        holder = subprocess.Popen([env["STUB_WINE"], str(build / "tools" / "wintest" / "wintest.exe"), "hold-window",
                                   "BenchHold", "3600"], env=env, stdout=subprocess.PIPE, text=True)
        holder.stdout.readline()
        started.insert(0, holder)
        yield env
    finally:
        if own_display:
            # Wine's helper processes hold the display; they go with the server.
            started[0].terminate()
            subprocess.run(["wineserver", "-k"], env=env, check=False)
        for p in started:  # the holder first, then the display it is connected to
            p.terminate()
            try:
                p.wait(timeout=10)
            except subprocess.TimeoutExpired:
                p.kill()
