#!/usr/bin/env bash
# Runs every test: the native unit tests (ASan/UBSan), the Windows unit tests under Wine and
# the end-to-end tests (pytest) that run the stub under Wine and Xvfb. Installs what is
# missing and builds first.
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

echo "== Windows unit tests under Wine ($STUB_WIN_ARCH)"
timeout 600 "$STUB_WINE" "build/$STUB_TEST_BUILD/win_tests.exe" || failed+=(windows)

echo "== end-to-end tests under Wine ($STUB_WIN_ARCH)"
mkdir -p artifacts
/usr/bin/python3 -m pytest tests/e2e -q -p no:cacheprovider --junitxml=artifacts/e2e.xml "$@"
rc=$?
# 5: nothing collected, which is a failure of the suite, not a pass.
[ $rc -eq 0 ] || failed+=(e2e)

if [ ${#failed[@]} -gt 0 ]; then
  echo "FAILED: ${failed[*]}"
  exit 1
fi
echo "all test layers passed"
