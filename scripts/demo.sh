#!/usr/bin/env bash
# The main job: builds everything, runs a sample setup under Wine behind the stub window, then
# lives through a sample agent's start, resident copy and stop, and prints what the stub wrote
# to its debug channel and its run log.
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

# A sample setup: the engine and a small product, built with the package builder.
mkdir -p "$work/product/docs" "$work/artifacts"
cp "$build/tools/engine/Engine.exe" "$work/product/"
printf '[Engine]\r\nExitCode=3\r\nDialogSeconds=3\r\nRecordTo=%s\r\n' "Z:${work//\//\\}\\engine-record.txt" \
  > "$work/product/Engine.ini"
printf 'Sample Product 1.0\r\n' > "$work/product/docs/readme.txt"
head -c 300000 /dev/urandom > "$work/product/product.dat"
printf '[English]\r\ns0=Sample Product Setup\r\ns1=Unpacking Sample Product...\r\n' > "$work/lang.ini"
dist/stubpack build --stub "$build/stub.exe" --out "$work/setup.exe" --main Engine.exe --main-args /L=1 \
  --lang "$work/lang.ini" --show-activity-bar "$work/product" >/dev/null
dist/stubpack inspect "$work/setup.exe" | head -20

echo "== wine setup.exe /demo   (extracts behind its window, runs Engine.exe, passes its exit code on)"
(cd "$work" && "$STUB_WINE" setup.exe /demo) &
setup=$!
shot() { xwd -root -silent | convert xwd:- "$1" && echo "screenshot: $1"; }
for _ in $(seq 1 100); do
  "$STUB_WINE" "$build/tools/wintest/wintest.exe" window-info "Z:${work//\//\\}\\setup.exe" 2>/dev/null \
    | grep -q '"visible": true' && break
  sleep 0.1
done
shot "$work/artifacts/stub-window.png"
for _ in $(seq 1 100); do
  "$STUB_WINE" "$build/tools/wintest/wintest.exe" find-window-prefix .SDialog_Class_Name. && break
  sleep 0.1
done
shot "$work/artifacts/engine-dialog.png"
set +e
wait "$setup"
echo "setup.exe exit code: $? (the engine's)"
set -e
echo "engine command line: $(grep commandline= "$work/engine-record.txt" | cut -d= -f2-)"
mkdir -p artifacts && cp "$work"/artifacts/*.png artifacts/

# A sample agent copy: the stub with its lead records, named Agent.exe, run log on.
build/native/tools/common/mkpkg --stub "$build/stub.exe" --out "$work/Agent.exe" --agent-copy \
  --agent-file Agent.exe --update-url http://127.0.0.1:8080/updates --info-file Product.info \
  --token demo-token --log --lang "English|s0=Sample Product Setup|Charset=0"

wintest() { "$STUB_WINE" "$build/tools/wintest/wintest.exe" "$@"; }
# The resident copy would keep any output it inherits open: the agent's goes nowhere.
echo "== wine Agent.exe   (the plain agent: copies itself to X_Agent.exe and starts that resident copy)"
(cd "$work" && "$STUB_WINE" Agent.exe >/dev/null 2>&1)
for _ in $(seq 1 100); do wintest find-window .AutoUpdate.X_Agent && break; sleep 0.1; done
echo "the resident copy's window (hidden), its process and program:"
wintest window-info .AutoUpdate.X_Agent | python3 -c '
import json, sys
w = json.load(sys.stdin)
print("  class .AutoUpdate.X_Agent  handle %d  pid %d  visible %s\n  program %s" % (
    w["handle"], w["pid"], w["visible"], w["exe"]))'
ls -l "$work"/*Agent*
echo "== wine Agent.exe /STOP=0   (forwards wm_ShutDown 0: the copy quits at its next tick and deletes itself)"
(cd "$work" && "$STUB_WINE" Agent.exe /STOP=0 >/dev/null 2>&1)
for _ in $(seq 1 100); do wintest find-window .AutoUpdate.X_Agent || break; sleep 0.1; done
for _ in $(seq 1 100); do [ -e "$work/X_Agent.exe" ] || break; sleep 0.1; done
if wintest find-window .AutoUpdate.X_Agent || [ -e "$work/X_Agent.exe" ]; then
  echo "the resident copy did not end" >&2
  exit 1
fi
echo "the resident copy's window and X_Agent.exe are gone:"
ls -l "$work"/*Agent*

kill "$viewer" 2>/dev/null || true
echo
echo "== debug channel (as the vdebug viewer received it)"
tr -d '\r' < "$work/debug.txt"
echo "== run log $work/X_Agent.log"
tr -d '\r' < "$work/X_Agent.log"
