#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "autoupdate/AgentControl.h"
#include "autoupdate/AgentTick.h"

using namespace stub;

namespace {

// Records what a tick asks of the world; the schedule answers with `due` unless forced.
class FakeCycle : public AgentCycle {
 public:
  std::vector<std::string> calls;
  int due = 0;
  bool askBeforeProbe = false;
  bool confirm = true;
  bool reenterOnShot = false;

  void DebugPidLine(const std::string& text) override { calls.push_back("debug" + text); }
  void DebugLine(const std::string& text) override { calls.push_back("line " + text); }
  void JustDownloadInfoFile() override { calls.push_back("info"); }
  void SetMsgBoxFont() override {}
  void PostQuit() override { calls.push_back("quit"); }
  bool CheckTestMode(bool) override { return false; }
  int ShotTimeStatus() override {
    AgentControlState& s = AgentState();
    const int status = s.ShotForced ? 1 : due;
    s.ShotForced = false;
    return status;
  }
  void StopProbing() override { calls.push_back("stop probing"); }
  bool AskBeforeProbe() override { return askBeforeProbe; }
  bool ConfirmProbe() override {
    calls.push_back("question");
    return confirm;
  }
  void PerformShot() override {
    calls.push_back("shot");
    // A message box or wait of the probe serves the timer: that tick must not run.
    if (reenterOnShot) RunAgentTick(*this);
  }
  int Count(const std::string& what) const {
    int n = 0;
    for (const std::string& c : calls) n += c == what;
    return n;
  }
};

}  // namespace

class AgentTickTest : public ::testing::Test {
 protected:
  void SetUp() override { AgentState() = AgentControlState(); }
  void TearDown() override { AgentState() = AgentControlState(); }
  // Runs ticks and says at which tick (1-based) the first quit was posted; 0 for none.
  int TicksUntilQuit(FakeCycle& cycle, int most) {
    for (int tick = 1; tick <= most; ++tick) {
      cycle.calls.clear();
      RunAgentTick(cycle);
      if (cycle.Count("quit")) return tick;
    }
    return 0;
  }
};

TEST_F(AgentTickTest, StopCountdownQuitsAtTheTickAfterItRunsOut) {
  struct Case { int32_t countdown; int quitTick; } cases[] = {{-1, 0}, {0, 1}, {2, 3}};
  for (const Case& c : cases) {
    AgentState() = AgentControlState();
    AgentState().StopCountdown = c.countdown;
    FakeCycle cycle;
    EXPECT_EQ(TicksUntilQuit(cycle, 6), c.quitTick) << c.countdown;
  }
}

TEST_F(AgentTickTest, FirstCheckAtTheFourthTickOrAfterSleep) {
  struct Case { int32_t counter; int firstCheck; } cases[] = {{-3, 4}, {0, 1}, {-5, 6}};
  for (const Case& c : cases) {
    AgentState() = AgentControlState();
    AgentState().AutoUpdateTimerCount = c.counter;  // "/SleepX=n" sets -n
    FakeCycle cycle;
    cycle.due = 1;
    int tick = 0;
    while (cycle.Count("shot") == 0 && tick < 10) {
      ++tick;
      RunAgentTick(cycle);
    }
    EXPECT_EQ(tick, c.firstCheck) << c.counter;
    EXPECT_EQ(cycle.calls.front(), "debug AutoUpdateTimerCount=" + std::to_string(c.counter + 1));
  }
}

TEST_F(AgentTickTest, TestCycleAsksFirstAndRunsOnce) {
  FakeCycle cycle;
  AgentCommand(kCommandUpdateCycle, 2);  // as "/TEST=2" sends it
  RunAgentTick(cycle);
  EXPECT_EQ(cycle.calls, (std::vector<std::string>{"debug AutoUpdateTimerCount=1", "debug ShotTimeStatus=1",
                                                    "question", "shot"}));
  EXPECT_EQ(AgentState().TestCycleMode, 0);
  cycle.calls.clear();
  RunAgentTick(cycle);  // the forced check is used up
  EXPECT_EQ(cycle.Count("shot"), 0);

  // A declined question skips the probe; without a test cycle only AskBeforeProbe asks.
  cycle.confirm = false;
  AgentCommand(kCommandUpdateCycle, 2);
  RunAgentTick(cycle);
  EXPECT_EQ(cycle.Count("question"), 1);
  EXPECT_EQ(cycle.Count("shot"), 0);
  cycle.calls.clear();
  cycle.confirm = true;
  AgentCommand(kCommandUpdateCycle, 0);
  RunAgentTick(cycle);
  EXPECT_EQ(cycle.Count("question"), 0);
  EXPECT_EQ(cycle.Count("shot"), 1);
}

TEST_F(AgentTickTest, ReentryIsDroppedAndTheOneProbeOfIntervalZeroStopsProbing) {
  FakeCycle cycle;
  cycle.reenterOnShot = true;
  cycle.due = 2;
  AgentState().AutoUpdateTimerCount = 0;
  RunAgentTick(cycle);
  EXPECT_EQ(cycle.Count("shot"), 1);
  EXPECT_EQ(cycle.Count("stop probing"), 1);
  EXPECT_EQ(AgentState().AutoUpdateTimerCount, 1);  // the nested tick counted nothing
  EXPECT_FALSE(AgentCycleBusy());
}

TEST_F(AgentTickTest, JustDownloadInfoFileSkipsTheCounters) {
  FakeCycle cycle;
  AgentState().StopCountdown = 0;
  AgentCommand(kCommandJustDownloadInfo, 0);
  RunAgentTick(cycle);
  EXPECT_EQ(cycle.calls, (std::vector<std::string>{"line -------------- JustDownloadInfoFile ---------------", "info"}));
  EXPECT_EQ(AgentState().StopCountdown, 0);
  EXPECT_EQ(AgentState().AutoUpdateTimerCount, -3);
  EXPECT_FALSE(AgentState().JustDownloadInfoFile);
}

TEST(TestMode, ReadWindowAndDay) {
  EXPECT_TRUE(TestModeReadDue(true, 5, 5));
  EXPECT_FALSE(TestModeReadDue(false, 30000, 0));
  EXPECT_TRUE(TestModeReadDue(false, 30001, 0));
  EXPECT_FALSE(TestModeReadDue(false, 100000, 71000));  // the window counts from the last read
  EXPECT_TRUE(TestModeReadDue(false, 40000, 0xFFFFF000u));  // across the tick count's wrap
  EXPECT_FALSE(TestModeReadDue(false, 1000, 0xFFFFF000u));
  EXPECT_TRUE(TestModeOn("1", "05-DEC-2026", "05-DEC-2026"));
  EXPECT_FALSE(TestModeOn("1", "04-DEC-2026", "05-DEC-2026"));
  EXPECT_FALSE(TestModeOn("2", "05-DEC-2026", "05-DEC-2026"));
  EXPECT_FALSE(TestModeOn("1", "", "05-DEC-2026"));
}
