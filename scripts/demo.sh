#!/usr/bin/env bash
# The main job: builds everything, makes a sample agent package and runs it under Wine,
# then prints what the stub wrote to its debug channel and its run log.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$here"
bash scripts/bootstrap.sh
bash scripts/build.sh
. scripts/env.sh
stub_detect_wine
stub_start_session

build="build/$STUB_TEST_BUILD"
work=$(mktemp -d /tmp/stub-demo.XXXXXX)
echo "== demo folder: $work (Windows programs run as $STUB_WIN_ARCH)"

"$STUB_WINE" "$build/tools/vdebug/vdebug.exe" --out "$work/debug.txt" 2>"$work/vdebug.err" &
viewer=$!
for _ in $(seq 1 100); do grep -q ready "$work/vdebug.err" 2>/dev/null && break; sleep 0.1; done

# A sample agent copy: the stub with its lead records, named Agent.exe, run log on.
build/native/tools/common/mkpkg --stub "$build/stub.exe" --out "$work/Agent.exe" --agent-copy \
  --agent-file Agent.exe --update-url http://127.0.0.1:8080/updates --info-file Product.info \
  --token demo-token --log --lang "English|s0=Sample Product Setup|Charset=0"

echo "== wine Agent.exe /STOP=0   (the plain agent: would start the resident copy, forwards /STOP)"
(cd "$work" && "$STUB_WINE" Agent.exe /STOP=0)
cp "$work/Agent.exe" "$work/X_Agent.exe"
echo "== wine X_Agent.exe        (the resident copy)"
(cd "$work" && "$STUB_WINE" X_Agent.exe)
echo "== wine setup.exe          (a bare stub: the setup role)"
cp "$build/stub.exe" "$work/setup.exe"
(cd "$work" && "$STUB_WINE" setup.exe /hide)

kill "$viewer" 2>/dev/null || true
echo
echo "== debug channel (as the vdebug viewer received it)"
tr -d '\r' < "$work/debug.txt"
echo "== run log $work/X_Agent.log"
tr -d '\r' < "$work/X_Agent.log"
