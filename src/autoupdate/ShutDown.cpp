#include <windows.h>

#include "autoupdate/ShutDown.h"

#include "autoupdate/Process.h"
#include "autoupdate/ShutDownMethod.h"
#include "support/Text.h"
#include "support/Utils.h"
#include "support/VDebug.h"
#include "ui/VMsgBox.h"

namespace stub {

static bool Runs(const std::string& path) { return FindProcess(path, true) != 0; }

// Serves this thread's messages until the product has ended or the limit (0: none) is up.
static void WaitForEnd(const std::string& path, unsigned limitMs) {
  const DWORD start = GetTickCount();
  while (Runs(path) && (limitMs == 0 || GetTickCount() - start < limitMs)) WaitPumping(0, 250);
}

ProductState ShutDownProduct(const std::string& pathIn, const std::string& methodText, const ShutDownNotice& notice,
                             unsigned waitLimitMs) {
  const std::string path = UnquoteTrim(pathIn);
  const ShutDownMethod method = ParseShutDownMethod(methodText);
  const bool running = Runs(path);
  WriteLog("Shut Down Process() - START  (" + path + ")  Method: " + methodText);
  if (method == ShutDownMethod::kMessageBox) {
    const std::string text = ReplaceText(notice.text, "PROG_NAME", FileNamePart(path));
    DebugLine("s1=" + text + "<");
    while (Runs(path)) MsgAttention(0, text, notice.caption, 0, notice.charset, notice.buttons);
  }
  DebugPidLine(" ==== PerformAutoUpdate-8 ====");
  if (method == ShutDownMethod::kClose) PostProcessMessage(path, WM_CLOSE, 15, 255);
  if (method == ShutDownMethod::kQuit) PostProcessMessage(path, WM_QUIT, 15, 255);
  if (method == ShutDownMethod::kTerminate) TerminateProcessByPath(path);
  if (method != ShutDownMethod::kNone && running) WaitForEnd(path, waitLimitMs);
  DebugPidLine(" ==== PerformAutoUpdate-9 ====");
  const bool runsNow = Runs(path);
  WriteLog(std::string("Shut Down Process() - END") + (running && runsNow && method != ShutDownMethod::kNone
                                                           ? "  (the product still runs: no update)"
                                                           : ""));
  if (!running) return ProductState::kNotRunning;
  if (method == ShutDownMethod::kNone) return ProductState::kLeftRunning;
  return runsNow ? ProductState::kStillRunning : ProductState::kStopped;
}

}  // namespace stub
