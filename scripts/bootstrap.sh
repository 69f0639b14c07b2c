#!/usr/bin/env bash
# Installs what the build, the demonstration and the tests need, and makes the Wine
# test prefix. Idempotent: a machine that has everything passes through in a second or two.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=scripts/env.sh
. "$here/scripts/env.sh"

need_pkgs=(
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 libz-mingw-w64-dev
  cmake ninja-build make g++ zlib1g-dev
  googletest python3-pytest
  xvfb x11-apps imagemagick
  nginx-light osslsigncode clang libclang-rt-14-dev
  libcli11-dev nlohmann-json3-dev libdeflate-dev openssl
)

missing=()
for p in "${need_pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
wine_missing=0
for p in wine wine64 wine32:i386; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || wine_missing=1
done

export DEBIAN_FRONTEND=noninteractive
apt_opts=(-y -q --no-install-recommends)

if [ ${#missing[@]} -gt 0 ] || [ $wine_missing -eq 1 ]; then
  echo "bootstrap: installing ${missing[*]} $( [ $wine_missing -eq 1 ] && echo wine)"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  # The i386 index of the security suite has been seen to fail here, which leaves wine32's
  # libraries unable to match their amd64 twins. Install from the machine's own sources with
  # the security suite left out, so both architectures take the same versions.
  filtered=$(mktemp -d)
  trap 'rm -rf "$filtered"' EXIT
  mkdir -p "$filtered/sources.list.d"
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -e "$f" ] || continue
    awk 'BEGIN{RS=""; ORS="\n\n"} !/Suites:[^\n]*-security/' "$f" > "$filtered/sources.list.d/$(basename "$f")"
  done
  for f in /etc/apt/sources.list.d/*.list; do
    [ -e "$f" ] || continue
    grep -v -E '^\s*deb.*-security' "$f" > "$filtered/sources.list.d/$(basename "$f")" || true
  done
  if [ -s /etc/apt/sources.list ]; then
    grep -v -E '^\s*deb.*-security' /etc/apt/sources.list > "$filtered/sources.list" || true
  else
    : > "$filtered/sources.list"
  fi
  fopts=(-o "Dir::Etc::SourceList=$filtered/sources.list" -o "Dir::Etc::SourceParts=$filtered/sources.list.d")
  apt-get "${fopts[@]}" update -q || apt-get "${fopts[@]}" update -q
  apt-get "${fopts[@]}" install "${apt_opts[@]}" "${missing[@]}" wine wine64 wine32:i386
fi

stub_detect_wine
echo "bootstrap: Windows programs run as $STUB_WIN_ARCH under $STUB_WINE"

# The Wine prefix: made once, crash dialog off so that one crash cannot hang a run. Without a
# window manager Wine waits two seconds whenever a top-level window goes unless it manages
# the windows itself (Managed=N), which also draws their title bars in screenshots.
prefix_mark="$WINEPREFIX/.stub-prefix-ready-2"
if [ ! -f "$WINEPREFIX/system.reg" ] || [ ! -f "$prefix_mark" ]; then
  echo "bootstrap: preparing the Wine prefix $WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  [ -f "$WINEPREFIX/system.reg" ] || "$STUB_WINE" wineboot -i >/dev/null 2>&1 || true
  "$STUB_WINE" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
  "$STUB_WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
  timeout 20 wineserver -w || true  # a persistent server of a running session never ends
  touch "$prefix_mark"
fi
echo "bootstrap: ready"
