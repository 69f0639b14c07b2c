#!/usr/bin/env python3
"""Extraction benchmark under Wine: ExtractPackage against a plain zlib inflate + WriteFile of
the same package, in the same run, alternating, each extraction into a fresh folder.

    bench/extract_bench/run.py [--build DIR] [--native DIR] [--runs N] [--work DIR]
                               [--builder stubpack|mkpkg] [--package FILE]

The payload is ../shared/bench/make_payload.py's (185,201,177 bytes, 2,003 files). The package
is written once at level 9 and kept in the work folder: by the package builder stubpack
(records of at most 4 MiB, its default), or by mkpkg (one record per file, zlib); --package
takes one made elsewhere. Prints the median seconds, MB/s of payload bytes, the ratio and the
peak memory of each.
"""
import argparse
import filecmp
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
    a = ap.parse_args()
    env = wine_env()
    build = a.build or REPO / "build" / env["STUB_TEST_BUILD"]
    exe = build / "bench" / "extract_bench" / "extract_bench.exe"
    a.work.mkdir(parents=True, exist_ok=True)
    payload, package = make_package(a.work, a.native, build, a.builder)
    if a.package:
        package = a.package
    payload_bytes = sum(p.stat().st_size for p in payload.rglob("*") if p.is_file())

    outs = a.work / "out"
    shutil.rmtree(outs, ignore_errors=True)
    results = {"ours": [], "plain": []}
    try:
        with wine_session(env, build):
            for run in range(a.runs):
                for mode in (("plain", "ours") if run % 2 else ("ours", "plain")):
                    dest = outs / f"{mode}-{run}"
                    r = subprocess.run([env["STUB_WINE"], str(exe), mode, win_path(package), win_path(dest)],
                                       env=env, capture_output=True, text=True)
                    if r.returncode != 0:
                        sys.exit(f"{mode} run {run} failed: {r.stdout} {r.stderr}")
                    fields = r.stdout.split()
                    results[mode].append(dict(zip(fields[1::2], map(float, fields[2::2]))))
                    print(r.stdout.strip(), flush=True)
                    if run == 0 and not same_tree(payload, dest):
                        sys.exit(f"{mode}: the extracted files differ from the payload")
    finally:
        # Thousands of deletions slow later file creation on this disk: only after timing.
        shutil.rmtree(outs, ignore_errors=True)

    mb = payload_bytes / 1e6
    print("\npayload %.1f MB, package %.1f MB, %d runs each (median)" % (mb, package.stat().st_size / 1e6, a.runs))
    med = {m: {k: statistics.median(v[k] for v in results[m]) for k in results[m][0]} for m in results}
    for m, label in (("plain", "plain inflate + WriteFile"), ("ours", "ExtractPackage")):
        print("%-28s %6.3f s  %6.1f MB/s   peak +%.1f MB" % (label, med[m]["work_seconds"], mb / med[m]["work_seconds"],
                                                           med[m]["peak_mb"]))
    print("%-28s %6.3f s  %6.1f MB/s   (with its fixed 500 ms closing wait)" %
          ("ExtractPackage, whole call", med["ours"]["seconds"], mb / med["ours"]["seconds"]))
    print("ExtractPackage / plain: %.1f %%" % (100 * med["plain"]["work_seconds"] / med["ours"]["work_seconds"]))


if __name__ == "__main__":
    main()
