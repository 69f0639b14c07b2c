#include "autoupdate/AgentTick.h"

#include "autoupdate/AgentControl.h"
#include "support/Text.h"

namespace stub {

// A tick is being handled.
static bool g_cycleBusy = false;

bool AgentCycleBusy() { return g_cycleBusy; }

void RunAgentTick(AgentCycle& cycle) {
  if (g_cycleBusy) return;
  g_cycleBusy = true;
  AgentControlState& s = AgentState();
  if (s.JustDownloadInfoFile) {
    cycle.DebugLine("-------------- JustDownloadInfoFile ---------------");
    s.JustDownloadInfoFile = false;
    cycle.JustDownloadInfoFile();
  } else {
    cycle.SetMsgBoxFont();
    s.AgentActivity = 0;
    if (s.TestCycleMode == 2) s.TestCycleMode = 1;
    if (s.TestCycleMode == 1) s.AutoUpdateTimerCount = 0;
    // The quit message is posted, the tick still completes.
    if (s.StopCountdown == 0) cycle.PostQuit();
    if (s.StopCountdown >= 0) --s.StopCountdown;
    ++s.AutoUpdateTimerCount;
    cycle.DebugPidLine(" AutoUpdateTimerCount=" + IntText(s.AutoUpdateTimerCount));
    if (s.AutoUpdateTimerCount > 0) {
      cycle.CheckTestMode(false);
      int status = cycle.ShotTimeStatus();
      cycle.DebugPidLine(" ShotTimeStatus=" + IntText(status));
      if (status == 2) cycle.StopProbing();
      if (status > 0 && (s.TestCycleMode == 1 || cycle.AskBeforeProbe()) && !cycle.ConfirmProbe()) status = 0;
      if (status > 0) cycle.PerformShot();
      if (s.TestCycleMode == 1) s.TestCycleMode = 0;
    }
  }
  s.AgentActivity = 0;
  g_cycleBusy = false;
}

bool TestModeReadDue(bool force, uint32_t nowMs, uint32_t lastCheckMs) {
  return force || static_cast<uint32_t>(nowMs - lastCheckMs) > 30000u;
}

bool TestModeOn(const std::string& mode, const std::string& date, const std::string& today) {
  return mode == "1" && date == today;
}

}  // namespace stub
