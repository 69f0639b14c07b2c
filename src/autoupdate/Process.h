// Control of the processes started from a given file: find them, find a process's main
// window, post to it, terminate it, wait until it has ended. Processes are listed through
// PSAPI on NT systems and through Tool Help elsewhere, both bound on first use.
//
// Loose matching (is it running, has it ended) also accepts a process whose file name equals
// the requested text; strict matching (post, terminate) wants the same file. The wait for a
// window class to disappear (WaitWhileWindowExists) is in support/Utils.h, beside the other
// waits, because the setup driver below this layer uses it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace stub {

// The id of the last matching process in the system's listing order; 0 when none.
DWORD FindProcess(const std::string& path, bool strict);
// Both trim the path and remove enclosing double quotes first; loose matching.
bool IsProcessRunning(const std::string& path);
// Returns when the process has ended or timeoutMs (0: no limit) has passed, serving this
// thread's messages meanwhile.
void WaitForProcessEnd(const std::string& path, unsigned timeoutMs);

// The top-level windows of one process, without the system's input-method windows, and their
// scores (see ScoreWindows).
class TAnalizer {
 public:
  explicit TAnalizer(DWORD processId) : ProcessId(processId) {}
  void Collect();
  void Score();
  HWND MainWindow() const;  // null when every score is 0

  std::vector<HWND> Windows;
  std::vector<uint32_t> Scores;
  int32_t Count = 0;
  DWORD ProcessId;
};

HWND FindMainWindow(const std::string& path, bool strict);
// Posts to the main window of the process started from path (strict); false when none.
bool PostProcessMessage(const std::string& path, UINT message, WPARAM wParam, LPARAM lParam);
bool TerminateProcessByPath(const std::string& path);

// Lists through Tool Help even on NT systems, to test that path.
void UseToolHelpForTesting(bool use);

}  // namespace stub
