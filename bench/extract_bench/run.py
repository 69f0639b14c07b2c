#!/usr/bin/env python3
"""Extraction benchmark under Wine: ExtractPackage against a plain zlib inflate + WriteFile of
the same package and against an NSIS installer (zlib, not solid) of the same payload, in the
same run, alternating, each extraction into a fresh folder; then setup files of the payload
started whole (stub.exe, timed by its own "UnCompressTime"), alternating with NSIS again.

    bench/extract_bench/run.py [--build DIR] [--native DIR] [--runs N] [--stub-runs N]
                               [--work DIR] [--builder stubpack|mkpkg] [--package FILE]
                               [--no-nsis] [--install-nsis]

The payload is ../shared/bench/make_payload.py's (185,201,177 bytes, 2,003 files). The package
is written once at level 9 and kept in the work folder: by the package builder stubpack
(records of at most 4 MiB, its default), or by mkpkg (one record per file, zlib); --package
takes one made elsewhere. Prints the median seconds, MB/s of payload bytes, the ratios and the
peak memory of each.

NSIS (Debian package nsis, makensis) is a benchmark-only need: when makensis is missing the
script asks before installing it with apt-get (--install-nsis installs without asking,
--no-nsis leaves the baseline out). The NSIS installer runs silently (/S /D=folder), with its
default CRC check; its figure is the process's whole time, and the same minus the time of an
empty NSIS installer (Wine starting a program).

The setup files of the second part extract into the Wine prefix's temporary folder and delete
it at the end, as setups do. Thousands of deletions slow file creation on this disk (mounted
with online discard) for a minute or more, so that part comes after the first, has its own
NSIS runs to compare with, and writes, like those, to a memory file system (--tmpfs): the
prefix's TEMP and TMP point there for that part and are put back afterwards.
"""
import argparse
import contextlib
import filecmp
import os
import re
import shutil
import statistics
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1]))
from benchwine import PAYLOAD_SCRIPT, REPO, win_path, wine_env, wine_session  # noqa: E402


def fake_stub(path):
    data = bytearray(1024)
    data[0:2], data[256:258] = b"MZ", b"PE"
    path.write_bytes(bytes(data))


def make_package(work, native, build, builder):
    payload = work / "payload"
    subprocess.run([sys.executable, str(PAYLOAD_SCRIPT), str(payload)], check=True)
    package = work / f"bench-{builder}.exe"
    if package.exists():
        return payload, package
    t = time.time()
    if builder == "stubpack":
        subprocess.run([str(native / "tools" / "stubpack" / "stubpack"), "build", "--stub", str(build / "stub.exe"),
                        "--out", str(package), "--level", "9", "--quiet", str(payload)], check=True)
    else:
        stub = work / "stub.bin"
        fake_stub(stub)
        args = [str(native / "tools" / "common" / "mkpkg"), "--stub", str(stub), "--out", str(package), "--level", "9"]
        for path in sorted(p for p in payload.rglob("*") if p.is_file()):
            args += ["--file", "%s=%s" % (str(path.relative_to(payload)).replace("/", "\\"), path)]
        subprocess.run(args, check=True)
    print("package: %s, %d bytes, written in %.1f s" % (package, package.stat().st_size, time.time() - t))
    return payload, package


NSIS_SCRIPT = """Unicode false
Name "payload"
OutFile "{out}"
SetCompressor zlib
RequestExecutionLevel user
SilentInstall silent
InstallDir "C:\\nsis-bench"
Section
  SetOutPath "$INSTDIR"
{files}SectionEnd
"""


def ensure_makensis(install, allowed):
    """The path of makensis, installing the Debian package when allowed (or the user agrees)."""
    found = shutil.which("makensis")
    if found or not allowed:
        return found
    if not install:
        if not sys.stdin.isatty():
            sys.exit("makensis is missing: install the Debian package nsis (apt-get install nsis), "
                     "run with --install-nsis, or leave the baseline out with --no-nsis")
        if input("makensis (Debian package nsis) is missing; install it with apt-get? [y/N] ").lower() != "y":
            return None
    subprocess.run(["apt-get", "install", "-y", "-q", "--no-install-recommends", "nsis"], check=True,
                   env={**os.environ, "DEBIAN_FRONTEND": "noninteractive"})
    return shutil.which("makensis")


def make_nsis(work, payload, makensis):
    """An NSIS installer of the payload and an empty one, both kept in the work folder."""
    made = {}
    for name, files in (("nsis-payload.exe", '  File /r "%s/*"\n' % payload), ("nsis-empty.exe", "")):
        out = work / name
        if not out.exists():
            script = work / (name + ".nsi")
            script.write_text(NSIS_SCRIPT.format(out=out, files=files))
            t = time.time()
            subprocess.run([makensis, "-V1", str(script)], check=True)
            print("NSIS installer: %s, %d bytes, written in %.1f s" % (out, out.stat().st_size, time.time() - t))
        made[name] = out
    return made["nsis-payload.exe"], made["nsis-empty.exe"]


def timed_process(env, args):
    started = time.perf_counter()
    r = subprocess.run([env["STUB_WINE"], *map(str, args)], env=env, capture_output=True, text=True)
    seconds = time.perf_counter() - started
    if r.returncode != 0:
        sys.exit(f"{args[0]} failed ({r.returncode}): {r.stdout} {r.stderr}")
    return seconds


def make_setup(work, payload, native, build):
    """A setup file of the payload with the build's Engine.exe (which ends at once)."""
    folder = work / "setup-payload"
    setup = work / "setup-payload.exe"
    if setup.exists():
        return setup
    shutil.rmtree(folder, ignore_errors=True)
    shutil.copytree(payload, folder, copy_function=os.link)
    shutil.copy(build / "tools" / "engine" / "Engine.exe", folder / "Engine.exe")
    (folder / "Engine.ini").write_text("[Engine]\r\nExitCode=0\r\n")
    subprocess.run([str(native / "tools" / "stubpack" / "stubpack"), "build", "--stub", str(build / "stub.exe"),
                    "--out", str(setup), "--main", "Engine.exe", "--level", "9", "--quiet", str(folder)], check=True)
    shutil.rmtree(folder)
    return setup


@contextlib.contextmanager
def temp_folder_in(env, folder):
    """The Wine prefix's TEMP and TMP pointed at folder for a while."""
    folder.mkdir(parents=True, exist_ok=True)
    key = "HKCU\\Environment"
    old = {}
    for name in ("TEMP", "TMP"):
        out = subprocess.run([env["STUB_WINE"], "reg", "query", key, "/v", name], env=env, capture_output=True,
                             text=True).stdout
        m = re.search(r"%s\s+(REG_\w+)\s+(.*)" % name, out)
        old[name] = (m.group(1), m.group(2).strip()) if m else None
        subprocess.run([env["STUB_WINE"], "reg", "add", key, "/v", name, "/t", "REG_SZ", "/d", win_path(folder), "/f"],
                       env=env, capture_output=True, check=True)
    try:
        yield
    finally:
        for name, value in old.items():
            args = ["/t", value[0], "/d", value[1]] if value else None
            subprocess.run([env["STUB_WINE"], "reg", *(["add", key, "/v", name, *args, "/f"] if args
                                                       else ["delete", key, "/v", name, "/f"])],
                           env=env, capture_output=True)
        shutil.rmtree(folder, ignore_errors=True)


def stub_uncompress_ms(env, setup, log):
    """Runs a setup file whole and returns the "UnCompressTime" it wrote to the debug channel."""
    before = log.read_text(errors="replace") if log.exists() else ""
    subprocess.run([env["STUB_WINE"], str(setup)], env=env, capture_output=True, check=True)
    for _ in range(100):
        found = re.findall(r"UnCompressTime: (\d+) MS", log.read_text(errors="replace")[len(before):])
        if found:
            return int(found[-1]) / 1000
        time.sleep(0.05)
    sys.exit("the setup wrote no UnCompressTime to the debug channel")


def same_tree(a, b):
    cmp = filecmp.dircmp(a, b)
    if cmp.left_only or cmp.right_only or cmp.funny_files:
        return False
    _, mismatch, errors = filecmp.cmpfiles(a, b, cmp.common_files, shallow=False)
    return not mismatch and not errors and all(same_tree(a / d, b / d) for d in cmp.common_dirs)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", type=Path, help="Windows build folder (default build/win64 or build/win)")
    ap.add_argument("--native", type=Path, default=REPO / "build" / "native", help="native build folder (mkpkg)")
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--work", type=Path, default=Path("/tmp/stub-extract-bench"))
    ap.add_argument("--builder", choices=("stubpack", "mkpkg"), default="stubpack")
    ap.add_argument("--package", type=Path, help="a package of the payload made elsewhere")
    ap.add_argument("--stub-runs", type=int, default=3, help="runs of the whole setup file (0: none)")
    ap.add_argument("--no-nsis", action="store_true", help="leave the NSIS baseline out")
    ap.add_argument("--install-nsis", action="store_true", help="install makensis without asking when missing")
    ap.add_argument("--tmpfs", type=Path, default=Path("/dev/shm/stub-extract-bench"),
                    help="memory file system folder for the setup files' part")
    a = ap.parse_args()
    env = wine_env()
    build = a.build or REPO / "build" / env["STUB_TEST_BUILD"]
    exe = build / "bench" / "extract_bench" / "extract_bench.exe"
    a.work.mkdir(parents=True, exist_ok=True)
    payload, package = make_package(a.work, a.native, build, a.builder)
    if a.package:
        package = a.package
    payload_bytes = sum(p.stat().st_size for p in payload.rglob("*") if p.is_file())
    makensis = ensure_makensis(a.install_nsis, not a.no_nsis)
    nsis = make_nsis(a.work, payload, makensis) if makensis else None
    setup = make_setup(a.work, payload, a.native, build) if a.stub_runs else None

    outs = a.work / "out"
    shutil.rmtree(outs, ignore_errors=True)
    modes = ["ours", "plain"] + (["nsis"] if nsis else [])
    results = {m: [] for m in modes}
    nsis_empty, stub_times, nsis_again = [], [], []
    try:
        with wine_session(env, build):
            if nsis:
                for _ in range(3):
                    nsis_empty.append(timed_process(env, [nsis[1], "/S", "/D=" + win_path(outs / "empty")]))
            for run in range(a.runs):
                order = modes[run % len(modes):] + modes[:run % len(modes)]
                for mode in order:
                    dest = outs / f"{mode}-{run}"
                    if mode == "nsis":
                        seconds = timed_process(env, [nsis[0], "/S", "/D=" + win_path(dest)])
                        results[mode].append({"seconds": seconds, "work_seconds": seconds})
                        print("nsis seconds %.3f" % seconds, flush=True)
                    else:
                        r = subprocess.run([env["STUB_WINE"], str(exe), mode, win_path(package), win_path(dest)],
                                           env=env, capture_output=True, text=True)
                        if r.returncode != 0:
                            sys.exit(f"{mode} run {run} failed: {r.stdout} {r.stderr}")
                        fields = r.stdout.split()
                        results[mode].append(dict(zip(fields[1::2], map(float, fields[2::2]))))
                        print(r.stdout.strip(), flush=True)
                    if run == 0 and not same_tree(payload, dest):
                        sys.exit(f"{mode}: the extracted files differ from the payload")
            # Thousands of deletions slow later file creation on this disk: only after timing.
            shutil.rmtree(outs, ignore_errors=True)
            if setup:
                log = a.work / "debug.txt"
                log.unlink(missing_ok=True)
                viewer = subprocess.Popen([env["STUB_WINE"], str(build / "tools" / "vdebug" / "vdebug.exe"), "--out",
                                           win_path(log), "--quit-after", "3600"], env=env,
                                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                try:
                    time.sleep(1)
                    with temp_folder_in(env, a.tmpfs / "temp"):
                        for run in range(a.stub_runs):
                            stub_times.append(stub_uncompress_ms(env, setup, log))
                            print("setup file UnCompressTime %.3f" % stub_times[-1], flush=True)
                            if nsis:
                                dest = a.tmpfs / f"nsis-{run}"
                                nsis_again.append(timed_process(env, [nsis[0], "/S", "/D=" + win_path(dest)]))
                                print("nsis seconds %.3f" % nsis_again[-1], flush=True)
                                shutil.rmtree(dest, ignore_errors=True)
                finally:
                    viewer.terminate()
                    viewer.wait()
    finally:
        shutil.rmtree(outs, ignore_errors=True)

    mb = payload_bytes / 1e6
    print("\n%s build under Wine; payload %.1f MB, package %.1f MB, %d runs each (median)" %
          (env["STUB_WIN_ARCH"], mb, package.stat().st_size / 1e6, a.runs))
    med = {m: {k: statistics.median(v[k] for v in results[m]) for k in results[m][0]} for m in results}
    for m, label in (("plain", "plain inflate + WriteFile"), ("ours", "ExtractPackage")):
        print("%-30s %6.3f s  %6.1f MB/s   peak +%.1f MB (limit 32 MB)" %
              (label, med[m]["work_seconds"], mb / med[m]["work_seconds"], med[m]["peak_mb"]))
    print("%-30s %6.3f s  %6.1f MB/s   (with its fixed 500 ms closing wait)" %
          ("ExtractPackage, whole call", med["ours"]["seconds"], mb / med["ours"]["seconds"]))
    print("ExtractPackage / plain: %.1f %%" % (100 * med["plain"]["work_seconds"] / med["ours"]["work_seconds"]))
    ours = med["ours"]["work_seconds"]
    if nsis:
        start = statistics.median(nsis_empty)
        whole = med["nsis"]["seconds"]
        print("%-30s %6.3f s  %6.1f MB/s   (%.3f s less an empty installer's %.3f s)" %
              ("NSIS zlib installer", whole, mb / whole, whole - start, start))
        print("NSIS / ExtractPackage: %.2fx (%.2fx against NSIS less its start; the goal is 2.0x)" %
              (whole / ours, (whole - start) / ours))
    if stub_times:
        st = statistics.median(stub_times)
        print("\nsetup file (stub.exe + package, stubpack level 9), %d runs, into %s: median UnCompressTime %.3f s"
              "  %.1f MB/s" % (len(stub_times), a.tmpfs, st, mb / st))
        if nsis_again:
            na = statistics.median(nsis_again)
            print("NSIS zlib installer in the same part, %d runs: %.3f s; NSIS / setup file: %.2fx (%.2fx less its start)"
                  % (len(nsis_again), na, na / st, (na - statistics.median(nsis_empty)) / st))


if __name__ == "__main__":
    main()
