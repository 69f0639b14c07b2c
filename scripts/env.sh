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
