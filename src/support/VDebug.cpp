#include <windows.h>

#include "support/VDebug.h"

#include "support/DebugDevice.h"
#include "support/Files.h"
#include "support/Utils.h"

namespace stub {

#ifndef STUB_DEBUG_MODE
#define STUB_DEBUG_MODE 0
#endif
// 0: viewer window only; 1: debug file only; 2: both; anything else: nothing.
static int g_debugMode = STUB_DEBUG_MODE;
static const WPARAM kDebugSender = 1;
static const char kDebugFile[] = "C:\\ProgramData\\_vdebug.txt";

// Debug channel state: the viewer's registered message, the lock around a hand-over, the device.
static UINT g_viewerMessage = 0;
// The viewer window that let a text time out: a hung viewer costs one wait, not one per line.
static HWND g_unresponsiveViewer = nullptr;
// How long a viewer may take over one text before the stub goes on without it.
static const UINT kViewerTimeoutMs = 1000;
static CRITICAL_SECTION g_handOverLock;
static bool g_channelReady = false;

// Run log state: enabled once by start-up, the prefix of the resident copy, the file name.
static bool g_logEnabled = false;
static std::string g_logPrefix = "   ";
static std::string g_logFileName;

// Hands one text to the debug file and/or the viewer. A write to the channel never fails:
// whatever goes wrong here is dropped.
static void RouteText(const std::string& text, void*) {
  EnterCriticalSection(&g_handOverLock);
  if (g_debugMode == 1 || g_debugMode == 2) AppendToFile(kDebugFile, text, 0);
  if (g_debugMode == 0 || g_debugMode == 2) {
    HWND viewer = FindWindowA(".VDebug.", nullptr);
    if (viewer && viewer != g_unresponsiveViewer) {
      ATOM atom = GlobalAddAtomA(text.c_str());
      if (atom) {
        // The viewer is another program: it must not hold the stub, and the setup with it.
        DWORD_PTR answer = 0;
        if (!SendMessageTimeoutA(viewer, g_viewerMessage, kDebugSender, atom, SMTO_NORMAL | SMTO_ABORTIFHUNG,
                                 kViewerTimeoutMs, &answer))
          g_unresponsiveViewer = viewer;
        GlobalDeleteAtom(atom);
      }
    }
  }
  LeaveCriticalSection(&g_handOverLock);
}

static DebugDevice& Device() {
  static DebugDevice device(RouteText, nullptr);
  if (!g_channelReady) {
    InitializeCriticalSection(&g_handOverLock);
    g_viewerMessage = RegisterWindowMessageA(".V_DebugMsg.");
    g_channelReady = true;
  }
  return device;
}

void SetDebugModeForTesting(int mode) { g_debugMode = mode; }

void DebugWrite(const std::string& text) { Device().Write(text); }
void DebugLine(const std::string& text) { Device().Write(text + "\r\n"); }
std::string PidText() { return IntText(GetCurrentProcessId()); }
void DebugPidLine(const std::string& text) { DebugLine(PidText() + text); }

void SetLogEnabled(bool enabled) { g_logEnabled = enabled; }
bool LogEnabled() { return g_logEnabled; }
void SetLogPrefix(const std::string& prefix) { g_logPrefix = prefix; }

std::string LogFileName() {
  if (g_logFileName.empty()) g_logFileName = LogFileNameFor(ExeFileName(false));
  return g_logFileName;
}

void WriteLog(const std::string& text) {
  if (!g_logEnabled) return;
  std::string line =
      FormatLogLine(LocalNow(), DateSeparator(), TimeSeparator(), GetCurrentThreadId(), g_logPrefix, text);
  AppendToFile(LogFileName(), line, 0);
}

}  // namespace stub
