#include "autoupdate/AgentControl.h"

#include "autoupdate/AgentOverrides.h"

namespace stub {

// The control state of this process (see AgentControlState).
static AgentControlState g_agentState;

AgentControlState& AgentState() { return g_agentState; }

int32_t AgentCommand(int32_t command, int32_t argument) {
  AgentControlState& s = g_agentState;
  if (command >= kCommandFirstOverride && command <= kCommandLastOverride) {
    SetOverride(command - kCommandFirstOverride, static_cast<uint8_t>(argument & 0xFF));
    return 0;
  }
  switch (command) {
    case kCommandActivity:
      return s.AgentActivity;
    case kCommandStopCountdown:
      s.StopCountdown = argument;
      return 0;
    case kCommandUpdateCycle:
      s.ShotForced = true;
      if (s.AutoUpdateTimerCount < 1) s.AutoUpdateTimerCount = 1;
      if (argument == 2) s.TestCycleMode = 2;
      return 0;
    case kCommandJustDownloadInfo:
      s.JustDownloadInfoFile = true;
      return 0;
    default:
      // The schedule reads and writes belong to the update description files, which the
      // agent does not keep yet: they answer 0.
      return 0;
  }
}

}  // namespace stub
