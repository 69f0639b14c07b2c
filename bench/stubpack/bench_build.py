#!/usr/bin/env python3
"""Times `stubpack build` on the shared benchmark payload (185,201,177 bytes, 2,003 files) and
prints MB/s for each compressor, level and thread count: the median of RUNS builds each.

    bench/stubpack/bench_build.py [--stubpack PATH] [--stub STUB.exe] [--payload DIR] [--runs N]
                                  [--configs libdeflate:6:0,zlib:6:1 ...]

The payload is made by ../shared/bench/make_payload.py when DIR does not hold it yet. Threads
0 means every core. Each build writes a fresh file that is deleted afterwards.
"""
import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
PAYLOAD_BYTES = 185201177


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--stubpack", default=REPO / "build/native/tools/stubpack/stubpack")
    ap.add_argument("--stub", default=REPO / "build/win/stub.exe")
    ap.add_argument("--payload", default=Path(tempfile.gettempdir()) / "stubpack-bench-payload")
    ap.add_argument("--make-payload", default=REPO.parent / "shared/bench/make_payload.py")
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--configs", default="libdeflate:6:0,libdeflate:6:1,zlib:6:0,zlib:6:1,libdeflate:9:0,zlib:9:0,"
                                         "libdeflate:1:0,zlib:1:0,stored:0:0")
    ap.add_argument("--wine", default="", help="run a Windows stubpack.exe through this loader")
    args = ap.parse_args()

    payload = Path(args.payload)
    if not (payload / "mixed.dat").is_file():
        subprocess.run([sys.executable, str(args.make_payload), str(payload)], check=True)
    size = sum(p.stat().st_size for p in payload.rglob("*") if p.is_file())
    if size != PAYLOAD_BYTES:
        print(f"warning: payload holds {size} bytes, not {PAYLOAD_BYTES}")
    print(f"payload {size / 1e6:.1f} MB, {os.cpu_count()} cores, load {os.getloadavg()[0]:.1f}, "
          f"median of {args.runs}")
    print(f"{'compressor':<11} {'level':>5} {'threads':>7} {'seconds':>8} {'MB/s':>7} {'package MB':>11}")
    with tempfile.TemporaryDirectory() as work:
        for config in args.configs.split(","):
            engine, level, threads = config.split(":")
            times, out_size = [], 0
            for run in range(args.runs):
                out = Path(work) / f"Setup{run}.exe"
                cmd = [str(args.stubpack), "build", "--quiet", "--stub", str(args.stub), "--out", str(out),
                       "--level", level, "--date", "2024-01-01T00:00:00", str(payload)]
                if engine != "stored":
                    cmd += ["--compressor", engine]
                if threads != "0":
                    cmd += ["--jobs", threads]
                if args.wine:
                    cmd = [args.wine] + cmd
                start = time.perf_counter()
                subprocess.run(cmd, check=True)
                times.append(time.perf_counter() - start)
                out_size = out.stat().st_size
                out.unlink()
            t = statistics.median(times)
            print(f"{engine:<11} {level:>5} {threads if threads != '0' else 'all':>7} {t:8.2f} {size / 1e6 / t:7.1f} "
                  f"{out_size / 1e6:11.1f}", flush=True)


if __name__ == "__main__":
    main()
