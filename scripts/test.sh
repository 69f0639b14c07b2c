#!/usr/bin/env bash
# Runs every test: the native unit tests (ASan/UBSan), each fuzz target for a few seconds,
# the Windows unit tests under Wine and the end-to-end tests (pytest) that run the stub
# under Wine and Xvfb. Installs what is missing and builds first.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$here"
bash scripts/bootstrap.sh || exit 1
bash scripts/build.sh || exit 1
. scripts/env.sh
stub_detect_wine
stub_start_session

failed=()
echo "== native unit tests"
(cd build/native && ctest --output-on-failure -j2 --timeout 300) || failed+=(native)

echo "== fuzz targets (libFuzzer, ${STUB_FUZZ_SECONDS:-10} s each)"
bash scripts/fuzz.sh --ci || failed+=(fuzz)

echo "== Windows unit tests under Wine ($STUB_WIN_ARCH)"
# The download tests talk to nginx and the fault server on loopback; the env file appears
# once both answer.
servers_env=$(mktemp /tmp/stub-servers.XXXXXX)
rm -f "$servers_env"
/usr/bin/python3 tests/e2e/servers.py --env-file "$servers_env" &
servers_pid=$!
for _ in $(seq 1 100); do [ -s "$servers_env" ] && break; sleep 0.1; done
[ -s "$servers_env" ] && . "$servers_env"
export STUB_NGINX_URL STUB_NGINX_ROOT STUB_FAULT_URL 2>/dev/null || true
timeout 600 "$STUB_WINE" "build/$STUB_TEST_BUILD/win_tests.exe" || failed+=(windows)
kill "$servers_pid" 2>/dev/null || true
wait "$servers_pid" 2>/dev/null || true
rm -f "$servers_env"

echo "== end-to-end tests under Wine ($STUB_WIN_ARCH)"
mkdir -p artifacts
/usr/bin/python3 -m pytest tests/e2e -q --tb=short -p no:cacheprovider --junitxml=artifacts/e2e.xml "$@"
rc=$?
# 5: nothing collected, which is a failure of the suite, not a pass.
[ $rc -eq 0 ] || failed+=(e2e)

if [ ${#failed[@]} -gt 0 ]; then
  echo "FAILED: ${failed[*]}"
  exit 1
fi
echo "all test layers passed"
