// The agent's control protocol: the window messages stub processes post each other, the
// commands a resident agent answers, the notifications it posts to a registered window, and
// the control state those drive. The state and the commands are portable; Notify and the
// message handling post through the system (AgentControlWin.cpp).
#pragma once

#include <cstdint>

namespace stub {

// Messages between stub processes (WM_USER is 1024).
const uint32_t wm_ShutDown = 1024 + 99;   // wParam: new stop countdown
const uint32_t wm_LocalMsg = 1024 + 100;  // wParam: window, lParam: message for notifications
const uint32_t wm_AgentMsg = 1024 + 101;  // wParam: command, lParam: argument

// Commands of wm_AgentMsg.
enum AgentCommandCode : int32_t {
  kCommandVersionOriginal = 4,
  kCommandVersionNew = 5,
  kCommandActivity = 7,
  kCommandProbeInterval = 8,
  kCommandReAskInterval = 9,
  kCommandProbeLast = 10,
  kCommandReAskLast = 11,
  kCommandSetProbeInterval = 12,
  kCommandSetReAskInterval = 13,
  kCommandSetProbeLast = 14,
  kCommandSetReAskLast = 15,
  kCommandFirstOverride = 20,  // 20..25: AgentOverrides positions 0..5
  kCommandLastOverride = 25,
  kCommandStopCountdown = 30,
  kCommandUpdateCycle = 31,
  kCommandJustDownloadInfo = 32,
};

// Notification codes (wParam of the registered message; lParam is the value).
enum NotifyCode : uint32_t {
  kNotifyInfoDownload = 40,    // 1 before, 2 after the .INFO download
  kNotifyFileDownload = 41,    // 1 before, 2 after the INFORM or UPDATE download
  kNotifyInstall = 42,         // 1 before, 2 after the installation
  kNotifyLoopEnded = 43,       // 0: the stub window's message loop has ended
  kNotifyWindow = 50,          // the stub window's handle
  kNotifyAgentMessage = 51,    // the number to use for wm_AgentMsg
};

// Agent control state, one per process, changed only on the window's thread.
struct AgentControlState {
  int32_t StopCountdown = -1;          // ticks left until the resident agent quits; < 0 never
  int32_t AutoUpdateTimerCount = -3;   // a check can run once this reaches 1
  bool ShotForced = false;             // the next tick checks whatever the schedule says
  int32_t TestCycleMode = 0;           // 2 requested, 1 running, 0 none
  bool JustDownloadInfoFile = false;   // the next tick only fetches the description
  int32_t AgentActivity = 0;           // 0 idle, 1 description, 2 file download, 3 installing
  uintptr_t NotifyWindow = 0;          // receives notifications
  uint32_t NotifyMessage = 0;          // their message number
};
AgentControlState& AgentState();

class DescriptionFiles;

// The result of a read command; 0 for every other command. The reads and writes of the
// schedule and the versions (4, 5, 8..15) go to files; without them they answer 0. Values
// that the files keep in 64 bits are answered with their low 32 bits, and writes take the
// argument sign-extended.
int32_t AgentCommand(int32_t command, int32_t argument, DescriptionFiles* files = nullptr);

// Posts NotifyMessage (code, value) to NotifyWindow; nothing while either is 0.
void Notify(uint32_t code, intptr_t value);

// The stub window's share of the protocol. wm_ShutDown and wm_LocalMsg take effect and go on
// to the default window procedure (false); wm_AgentMsg is answered with the command's result
// (true, result set) and goes no further.
bool HandleAgentMessage(uintptr_t window, uint32_t message, uintptr_t wParam, intptr_t lParam, intptr_t& result);

}  // namespace stub
