#!/usr/bin/env bash
# Start-to-end time of `wine stub.exe` run as an agent copy (the resident copy's name, which
# ends at once here), with a running wineserver: the median and range of 21 runs.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$here"
. scripts/env.sh
stub_detect_wine
stub_start_session
build="build/$STUB_TEST_BUILD"
work=$(mktemp -d /tmp/stub-bench.XXXXXX)
build/native/tools/common/mkpkg --stub "$build/stub.exe" --out "$work/X_Agent.exe" --agent-copy \
  --agent-file Agent.exe --log
"$STUB_WINE" "$work/X_Agent.exe" >/dev/null 2>&1  # warm the caches once
python3 - "$STUB_WINE" "$work/X_Agent.exe" <<'PY'
import statistics, subprocess, sys, time
times = []
for _ in range(21):
    t = time.perf_counter()
    subprocess.run(sys.argv[1:], check=True)
    times.append(time.perf_counter() - t)
print(f"agent copy start to end: median {statistics.median(times)*1000:.0f} ms "
      f"(min {min(times)*1000:.0f}, max {max(times)*1000:.0f}) over {len(times)} runs")
PY
echo "(Windows programs run as $STUB_WIN_ARCH)"
rm -rf "$work"
