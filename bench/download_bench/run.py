#!/usr/bin/env python3
"""Download benchmark under Wine: HTTP_DownloadFile_Incremental fetches a 50 MiB file from
nginx on loopback into a file, without a bar and with one, and prints MB/s next to the rate
the 2 ms pacing per 8 KiB read allows.

    bench/download_bench/run.py [--build DIR] [--runs N] [--size BYTES]

DIR defaults to build/$STUB_TEST_BUILD (the x86-64 twin where Wine cannot run 32-bit code).
"""
import argparse
import os
import subprocess
import sys
import tempfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1]))
from benchwine import REPO, wine_env, wine_session  # noqa: E402

sys.path.insert(0, str(REPO / "tests" / "e2e"))
from servers import Nginx, windows_path  # noqa: E402


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", help="the Windows build folder")
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--size", type=int, default=50 * 1024 * 1024)
    args = parser.parse_args()
    env = wine_env()
    build = Path(args.build) if args.build else REPO / "build" / env["STUB_TEST_BUILD"]
    exe = build / "bench" / "download_bench" / "download_bench.exe"
    if not exe.exists():
        sys.exit(f"{exe} is not built")
    with tempfile.TemporaryDirectory(prefix="stub-download-bench.") as work:
        work = Path(work)
        server = Nginx(work / "root", work / "nginx").start()
        try:
            # Random bytes, so nothing on the way can make the transfer cheaper than it is.
            url = server.put("payload.bin", os.urandom(args.size))
            print(f"{args.size:,} bytes from {url}, {args.runs} runs ({env['STUB_WIN_ARCH']} build under Wine)")
            with wine_session(env, build):
                result = subprocess.run([env["STUB_WINE"], str(exe), url, windows_path(work / "dest.bin"),
                                         "--runs", str(args.runs)], env=env, timeout=1800)
        finally:
            server.stop()
    sys.exit(result.returncode)


if __name__ == "__main__":
    main()
