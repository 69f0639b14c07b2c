// The resident agent's work on each tick of its window's one-second timer: the re-entry
// guard, the stop countdown, the tick counter, the test cycle and the forced check. What a
// probe needs from the world (the schedule, the question, the probe itself) comes through
// AgentCycle, so that ticks run in a test without a window, a clock or a registry.
#pragma once

#include <cstdint>
#include <string>

namespace stub {

class AgentCycle {
 public:
  virtual ~AgentCycle() = default;
  virtual void DebugPidLine(const std::string& text) = 0;  // process id + text
  virtual void DebugLine(const std::string& text) = 0;     // text alone
  virtual void JustDownloadInfoFile() = 0;
  virtual void SetMsgBoxFont() = 0;
  virtual void PostQuit() = 0;                             // ends the window's message loop
  virtual bool CheckTestMode(bool force) = 0;
  // 0 no probe, 1 probe due, 2 the one probe of a ProbeSecondsInterval of 0. Clears ShotForced.
  virtual int ShotTimeStatus() = 0;
  virtual void StopProbing() = 0;                          // after the one probe of interval 0
  virtual bool AskBeforeProbe() = 0;
  virtual bool ConfirmProbe() = 0;                         // the pre-probe question; false for No
  virtual void PerformShot() = 0;
};

// One tick over AgentState(). A tick that arrives while another is handled (message boxes
// and waits serve the timer too) returns at once.
void RunAgentTick(AgentCycle& cycle);
bool AgentCycleBusy();

// Test mode: the registry is read again when forced or when more than 30 s of the tick count
// have passed since it was last read (the difference survives the count's wrap after 49
// days); it is on when TestMode is "1" and TestModeDate is today's date text.
bool TestModeReadDue(bool force, uint32_t nowMs, uint32_t lastCheckMs);
bool TestModeOn(const std::string& mode, const std::string& date, const std::string& today);

}  // namespace stub
