// Start-up: the main body, the choice of role, the messages stub processes send each other
// and the agent control state they drive.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "package/GFileInfo.h"

namespace stub {

// Messages between stub processes.
const UINT wm_ShutDown = WM_USER + 99;   // wParam: new stop countdown
const UINT wm_LocalMsg = WM_USER + 100;  // wParam: window, lParam: message for notifications
const UINT wm_AgentMsg = WM_USER + 101;  // wParam: command, lParam: argument

// Agent control state, one per process.
struct AgentControlState {
  int32_t StopCountdown = -1;          // ticks left until the resident agent quits; < 0 never
  int32_t AutoUpdateTimerCount = -3;   // a check can run once this reaches 1
  bool ShotForced = false;             // the next tick checks whatever the schedule says
  int32_t TestCycleMode = 0;           // 2: a test cycle is requested
  bool JustDownloadInfoFile = false;   // the next tick only fetches the description
  int32_t AgentActivity = 0;           // 0 idle, 1 description, 2 file download, 3 installing
  HWND NotifyWindow = nullptr;         // receives notifications
  UINT NotifyMessage = 0;              // their message number
};
AgentControlState& AgentState();

// The reader on the stub's own file, alive for the whole main body.
TGFileInfo& PackageInfo();
bool ThisIs_AutoUpdateProg();
const std::string& StubClassName();

bool X_ExeIsRunning();
bool ThisIs_Plain_AutoUpdate_Exe();
bool ThisIs_X_AutoUpdate_Exe();

int StubMainBody();
void DoRunStubWin();
bool HandleParamOK(bool xWasRunning);
int32_t AgentCommand(int32_t command, int32_t argument);
void Notify(WPARAM code, LPARAM value);

// Posts to the window of the stub process started from path (its class is derived from the
// file name); false when there is none.
bool PostToStubWindow(const std::string& path, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace stub
