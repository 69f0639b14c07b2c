#!/usr/bin/env bash
# Builds the package parsers with clang's libFuzzer, ASan and UBSan and runs them for a while.
#   scripts/fuzz.sh [SECONDS]     (default 60)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$here"
seconds=${1:-60}
out=build/fuzz
mkdir -p "$out/corpus"
sources=$(grep -L '#include <windows.h>' src/*/*.cpp)
clang++ -std=c++17 -O1 -g -fsanitize=fuzzer,address,undefined -Isrc -Itools/common -Itests/native \
  $sources tools/common/HostPlatform.cpp tools/common/PackageWriter.cpp tests/native/FuzzEntry.cpp \
  tests/fuzz/PackageFuzzer.cpp -lz -o "$out/package_fuzzer"
# Seed with a few real packages.
[ -x build/native/tools/common/mkpkg ] && [ -f build/win/stub.exe ] && \
  build/native/tools/common/mkpkg --stub build/win/stub.exe --out "$out/corpus/seed1" --agent-file A.exe --log \
    --file a.txt=README.md --main a.txt --level 9 || true
"$out/package_fuzzer" -max_total_time="$seconds" -max_len=200000 -rss_limit_mb=2048 "$out/corpus"
