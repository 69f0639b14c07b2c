#include <windows.h>

#include "autoupdate/StubAU.h"

#include "autoupdate/AgentControl.h"
#include "autoupdate/AgentOverrides.h"
#include "autoupdate/AgentTick.h"
#include "support/Utils.h"
#include "support/VDebug.h"

namespace stub {

// Test mode as last read from the registry, and the tick count of the last check.
static bool g_testModeActive = false;
static std::string g_testModeURL;
static DWORD g_testModeCheckTick = 0;

static const char kAutoUpdateKey[] = "HKEY_CURRENT_USER\\Software\\Morvaine\\Talvex\\AutoUpdate";

bool CheckTestMode(bool force) {
  const DWORD now = GetTickCount();
  if (TestModeReadDue(force, now, g_testModeCheckTick)) {
    const std::string mode = ReadRegString(kAutoUpdateKey, "TestMode", "0", RegView64Default);
    const std::string date = ReadRegString(kAutoUpdateKey, "TestModeDate", "", RegView64Default);
    g_testModeActive = TestModeOn(mode, date, DateText(LocalNow()));
    g_testModeURL = ReadRegString(kAutoUpdateKey, "TestModeURL", "", RegView64Default);
  }
  g_testModeCheckTick = now;
  return g_testModeActive;
}

const std::string& TestModeURL() { return g_testModeURL; }

// The agent's window, registry and debug channel. The schedule, the pre-probe question and
// the probe read the update description files; they come with the update cycle.
class StubAgentCycle : public AgentCycle {
 public:
  void DebugPidLine(const std::string& text) override { stub::DebugPidLine(text); }
  void DebugLine(const std::string& text) override { stub::DebugLine(text); }
  void JustDownloadInfoFile() override { NotBuilt("JustDownloadInfoFile"); }
  void SetMsgBoxFont() override {}
  void PostQuit() override { PostQuitMessage(0); }
  bool CheckTestMode(bool force) override { return stub::CheckTestMode(force); }
  int ShotTimeStatus() override {
    AgentControlState& s = AgentState();
    const int status = s.ShotForced ? 1 : 0;
    s.ShotForced = false;
    return status;
  }
  void StopProbing() override {}
  bool AskBeforeProbe() override { return stub::AskBeforeProbe(); }
  bool ConfirmProbe() override {
    NotBuilt("the pre-probe question");
    return true;
  }
  void PerformShot() override { NotBuilt("PerformShot"); }

 private:
  void NotBuilt(const std::string& what) { stub::DebugPidLine(" " + what + ": the update cycle is not built yet"); }
};

void AgentTick() {
  static StubAgentCycle cycle;
  RunAgentTick(cycle);
}

}  // namespace stub
