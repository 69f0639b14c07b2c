#include "autoupdate/AgentControl.h"

#include "autoupdate/AgentOverrides.h"
#include "autoupdate/DescriptionFiles.h"

namespace stub {

// The control state of this process (see AgentControlState).
static AgentControlState g_agentState;

AgentControlState& AgentState() { return g_agentState; }

// The schedule's and the versions' commands.
static int32_t FileCommand(int32_t command, int32_t argument, DescriptionFiles& files) {
  switch (command) {
    case kCommandVersionOriginal:
      return files.VersionOriginal();
    case kCommandVersionNew:
      return files.VersionNew();
    case kCommandProbeInterval:
      return static_cast<int32_t>(files.ProbeSecondsInterval());
    case kCommandReAskInterval:
      return static_cast<int32_t>(files.ReAskSecondsInterval());
    case kCommandProbeLast:
      return static_cast<int32_t>(files.ProbeSecondsLast());
    case kCommandReAskLast:
      return static_cast<int32_t>(files.ReAskSecondsLast());
    case kCommandSetProbeInterval:
      files.SetOriginalInt("ProbeSecondsInterval", argument);
      break;
    case kCommandSetReAskInterval:
      files.SetOriginalInt("ReAskSecondsInterval", argument);
      break;
    case kCommandSetProbeLast:
      files.SetSecondsLast("ProbeSecondsLast", argument);
      break;
    case kCommandSetReAskLast:
      files.SetSecondsLast("ReAskSecondsLast", argument);
      break;
  }
  return 0;
}

int32_t AgentCommand(int32_t command, int32_t argument, DescriptionFiles* files) {
  AgentControlState& s = g_agentState;
  if (command >= kCommandFirstOverride && command <= kCommandLastOverride) {
    SetOverride(command - kCommandFirstOverride, static_cast<uint8_t>(argument & 0xFF));
    return 0;
  }
  if ((command >= kCommandVersionOriginal && command <= kCommandVersionNew) ||
      (command >= kCommandProbeInterval && command <= kCommandSetReAskLast))
    return files ? FileCommand(command, argument, *files) : 0;
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
      return 0;
  }
}

}  // namespace stub
