#!/usr/bin/env bash
# Builds every configuration and leaves the programs in dist/.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$here"
. scripts/env.sh
stub_detect_wine

build() {
  [ -f "build/$1/build.ninja" ] || cmake --preset "$1" >/dev/null
  cmake --build --preset "$1"
}
build win
build native
# The tests run the x86-64 twin where Wine cannot start 32-bit programs.
[ "$STUB_TEST_BUILD" = win ] || build "$STUB_TEST_BUILD"

mkdir -p dist
cp build/win/stub.exe dist/
for f in build/win/tools/*/*.exe; do [ -e "$f" ] && cp "$f" dist/; done
for f in build/native/tools/*/*; do
  [ -f "$f" ] && [ -x "$f" ] && case "$f" in *.a|*/CMakeFiles/*) ;; *) cp "$f" dist/;; esac
done
echo "dist: $(cd dist && ls | tr '\n' ' ')"
