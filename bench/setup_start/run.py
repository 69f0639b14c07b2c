#!/usr/bin/env python3
"""Setup start-up under Wine: how long a setup file takes from its start to the start of the
engine, and from there to its own end, for a small package and for the shared payload.

    bench/setup_start/run.py [--build DIR] [--native DIR] [--runs N] [--work DIR] [--no-payload]

The engine (Engine.exe of the build) writes its record as its first act, so the moment the
record appears is the engine's start. The figures are medians of --runs starts (default 7);
next to them stand the fixed waits of the setup run that they contain, and a plain start of
the engine alone, which is what any Windows program costs to start under Wine here.
"""
import argparse
import shutil
import statistics
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1]))
from benchwine import PAYLOAD_SCRIPT, REPO, win_path, wine_env, wine_session  # noqa: E402

# The waits of a setup run, in the order they come, in milliseconds.
WAITS_TO_ENGINE = [
    ("first tick of the window's timer", 1000),
    ("wait with the window shown, before extraction", 1000),
    ("closing wait of the extraction", 500),
    ("wait after extraction", 1000),
]
WAITS_AFTER_ENGINE = [
    ("wait after the engine's start", 1000),
    ("wait before the hand-off check", 1000),
]


def engine_files(folder, engine, record):
    folder.mkdir(parents=True, exist_ok=True)
    shutil.copy(engine, folder / "Engine.exe")
    (folder / "Engine.ini").write_text(f"[Engine]\r\nExitCode=0\r\nRecordTo={win_path(record)}\r\n")


def timed_start(env, command, record, cwd):
    """(seconds to the engine's record, seconds to the end of the process)."""
    record.unlink(missing_ok=True)
    started = time.perf_counter()
    proc = subprocess.Popen([env["STUB_WINE"], *command], env=env, cwd=cwd, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    engine = None
    while True:
        if engine is None and record.exists():
            engine = time.perf_counter() - started
        if proc.poll() is not None:
            break
        time.sleep(0.002)
    ended = time.perf_counter() - started
    if engine is None:
        sys.exit(f"the engine never started: {command}")
    return engine, ended


def report(label, runs):
    to_engine = statistics.median(r[0] for r in runs)
    total = statistics.median(r[1] for r in runs)
    print(f"{label:<34} start to engine {to_engine:6.2f} s   engine to end {total - to_engine:5.2f} s"
          f"   start to end {total:6.2f} s   (min {min(r[1] for r in runs):.2f}, max {max(r[1] for r in runs):.2f})")
    return to_engine, total


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", type=Path, help="Windows build folder (default build/win64 or build/win)")
    ap.add_argument("--native", type=Path, default=REPO / "build" / "native", help="native build folder (stubpack)")
    ap.add_argument("--runs", type=int, default=7)
    ap.add_argument("--work", type=Path, default=Path("/tmp/stub-setup-start-bench"))
    ap.add_argument("--no-payload", action="store_true", help="only the small package")
    a = ap.parse_args()
    env = wine_env()
    build = a.build or REPO / "build" / env["STUB_TEST_BUILD"]
    stubpack = a.native / "tools" / "stubpack" / "stubpack"
    engine = build / "tools" / "engine" / "Engine.exe"
    for needed in (build / "stub.exe", engine, stubpack):
        if not needed.exists():
            sys.exit(f"{needed} is not built")

    work = a.work
    shutil.rmtree(work, ignore_errors=True)
    record = work / "record.txt"
    small = work / "small"
    engine_files(small, engine, record)
    (small / "readme.txt").write_text("sample product\n" * 100)
    packages = [("small package", small)]
    if not a.no_payload:
        payload = work / "payload"
        subprocess.run([sys.executable, str(PAYLOAD_SCRIPT), str(payload)], check=True, stdout=subprocess.DEVNULL)
        engine_files(payload, engine, record)
        packages.append(("shared payload (185 MB)", payload))
    built = []
    for label, folder in packages:
        out = work / f"{folder.name}-setup.exe"
        subprocess.run([str(stubpack), "build", "--stub", str(build / "stub.exe"), "--out", str(out), "--main",
                        "Engine.exe", "--quiet", str(folder)], check=True)
        built.append((label, out))

    results = {}
    with wine_session(env, build):
        alone = [timed_start(env, [str(small / "Engine.exe")], record, small) for _ in range(a.runs)]
        for label, exe in built:
            timed_start(env, [str(exe)], record, work)  # warm the caches once
            results[label] = [timed_start(env, [str(exe)], record, work) for _ in range(a.runs)]

    print(f"\n{a.runs} runs each, medians ({env['STUB_WIN_ARCH']} build under Wine, warm wineserver)")
    engine_alone, _ = report("Engine.exe started alone", alone)
    small_to_engine, small_total = report(built[0][0], results[built[0][0]])
    for label, _ in built[1:]:
        to_engine, _ = report(label, results[label])
        print(f"{'':<34} extraction and its size cost {to_engine - small_to_engine:5.2f} s more than the small package")

    fixed = sum(ms for _, ms in WAITS_TO_ENGINE) / 1000
    print(f"\nFixed waits before the engine starts: {fixed:.1f} s")
    for name, ms in WAITS_TO_ENGINE:
        print(f"  {ms:5d} ms  {name}")
    print(f"Small package: {small_to_engine:.2f} s to the engine = {fixed:.1f} s of waits + "
          f"{small_to_engine - fixed:.2f} s of work, of which about {engine_alone:.2f} s is Wine starting a program")
    after = sum(ms for _, ms in WAITS_AFTER_ENGINE) / 1000
    print(f"\nFixed waits after the engine's start: {after:.1f} s, and up to 0.5 s until a poll (every 500 ms)"
          " sees its end")
    for name, ms in WAITS_AFTER_ENGINE:
        print(f"  {ms:5d} ms  {name}")
    print(f"Small package: {small_total - small_to_engine:.2f} s from the engine's start to the stub's end")


if __name__ == "__main__":
    main()
