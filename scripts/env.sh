# Shared environment for the scripts: the Wine prefix, a quiet Wine, and which build of the
# Windows programs the tests run.
#
# The product is a 32-bit program. Debian's Wine runs it through a 32-bit Linux loader, which
# needs the kernel's 32-bit emulation. Kernels booted without it (ia32_emulation=off) refuse
# that loader; there the tests run the same sources built for x86-64 under wine64, and
# STUB_WIN_ARCH says which one is in use.
export WINEPREFIX="${WINEPREFIX:-/root/.wine-stub}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

stub_detect_wine() {
  if [ -z "${STUB_WIN_ARCH:-}" ]; then
    if [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1; then
      STUB_WIN_ARCH=i686
    else
      STUB_WIN_ARCH=x86_64
    fi
  fi
  export STUB_WIN_ARCH
  if [ "$STUB_WIN_ARCH" = i686 ]; then
    export STUB_WINE=wine
  else
    export STUB_WINE=/usr/lib/wine/wine64
    export WINELOADER=/usr/lib/wine/wine64
  fi
  # The build folder whose programs the Wine tests run.
  if [ "$STUB_WIN_ARCH" = i686 ]; then export STUB_TEST_BUILD=win; else export STUB_TEST_BUILD=win64; fi
}

# Starts Xvfb and a persistent wineserver for this shell, unless a display is already given;
# both end when the shell exits. Every Wine process of a run then shares one wineserver, so
# global atoms and windows live as long as the run.
stub_start_session() {
  if [ -z "${DISPLAY:-}" ]; then
    local n
    for n in 91 92 93 94 95 96 97 98 99; do
      [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || break
    done
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    STUB_XVFB_PID=$!
    export DISPLAY=":$n"
    for _ in $(seq 1 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
  fi
  wineserver -p >/dev/null 2>&1 || true  # already running for this prefix is fine
  trap stub_end_session EXIT
}

stub_end_session() {
  wineserver -k >/dev/null 2>&1 || true
  [ -n "${STUB_XVFB_PID:-}" ] && kill "$STUB_XVFB_PID" >/dev/null 2>&1 || true
}
