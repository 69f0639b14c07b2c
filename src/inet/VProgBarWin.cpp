#include <windows.h>
#include <commctrl.h>

#include "inet/VProgBarWin.h"
#include "support/Utils.h"

namespace stub {

// The stub window's two progress controls (absent until the window makes them), the
// activity bar's place, and the one bar the downloads and the agent share.
static HWND g_mainBar = nullptr;
static HWND g_activityBar = nullptr;
static ActivityCounter g_activity;
static TProgBar* g_stubBar = nullptr;
// The status line that shows the steps' texts (null: none), what goes before them, and the
// tick of its last change.
static HWND g_statusLine = nullptr;
static std::string g_statusPrefix;
static DWORD g_statusShownAt = 0;

// Often enough to watch, seldom enough not to slow a download with repainting.
static const DWORD kStatusInterval = 200;

void SetStubProgressBars(HWND mainBar, HWND activityBar) {
  g_mainBar = mainBar;
  g_activityBar = activityBar;
}

static void SetRange(HWND bar, int64_t maximum) {
  if (maximum < 0) maximum = 0;
  if (maximum > 0x7FFFFFFF) maximum = 0x7FFFFFFF;
  // Maxima below 65536 also fit the 16-bit range message; larger ones need the 32-bit one.
  if (maximum < 65536)
    SendMessageA(bar, PBM_SETRANGE, 0, MAKELPARAM(0, static_cast<WORD>(maximum)));
  else
    SendMessageA(bar, PBM_SETRANGE32, 0, static_cast<LPARAM>(maximum));
}

void SetStubProgressStatus(HWND control, const std::string& prefix) {
  g_statusLine = control;
  g_statusPrefix = prefix;
  g_statusShownAt = GetTickCount() - kStatusInterval;
}

static void ShowStepText(const std::string& text) {
  if (!g_statusLine || text.empty() || GetTickCount() - g_statusShownAt < kStatusInterval) return;
  g_statusShownAt = GetTickCount();
  SetWindowTextA(g_statusLine, (g_statusPrefix + text).c_str());
}

void StubProgressHandler(int kind, int64_t maximum, const std::string& text, int step, int position) {
  if (kind == 0) {
    // The activity counter is not reset: it runs on across downloads and disks.
    if (g_mainBar) {
      SetRange(g_mainBar, maximum);
      SendMessageA(g_mainBar, PBM_SETPOS, static_cast<WPARAM>(position), 0);
      SendMessageA(g_mainBar, PBM_SETSTEP, static_cast<WPARAM>(step), 0);
    }
    if (g_activityBar) {
      SetRange(g_activityBar, 5);
      SendMessageA(g_activityBar, PBM_SETPOS, 0, 0);
      SendMessageA(g_activityBar, PBM_SETSTEP, 1, 0);
    }
  } else if (kind == 1) {
    if (g_mainBar) SendMessageA(g_mainBar, PBM_STEPIT, 0, 0);
    const int place = g_activity.Advance();
    if (g_activityBar) SendMessageA(g_activityBar, PBM_SETPOS, static_cast<WPARAM>(place), 0);
    ShowStepText(text);
  }
}

static void WaitServingMessages(unsigned milliseconds) { WaitPumping(0, milliseconds); }

TProgBar& StubProgBar() {
  if (!g_stubBar) {
    SetProgBarWait(WaitServingMessages);
    g_stubBar = new TProgBar(StubProgressHandler);
  }
  return *g_stubBar;
}

}  // namespace stub
