#include <gtest/gtest.h>

#include <vector>

#include "autoupdate/AgentOverrides.h"
#include "stub/RoleChoice.h"
#include "support/DebugDevice.h"

using namespace stub;

TEST(RoleChoice, Table) {
  struct Case {
    bool agentCopy; const char* own; const char* agent; bool window; bool tempFlag; int64_t level; StubRole role;
  } cases[] = {
      {false, "setup.exe", "", false, false, 1, StubRole::Setup},
      {false, "setup.exe", "", true, false, 1, StubRole::AlreadyRunning},
      {true, "Agent.exe", "Agent.exe", false, false, 1, StubRole::PlainAgent},
      {true, "AGENT.EXE", "Agent.exe", false, false, 1, StubRole::PlainAgent},
      {true, "X_Agent.exe", "Agent.exe", false, false, 1, StubRole::ResidentAgent},
      {true, "x_agent.EXE", "Agent.exe", false, false, 1, StubRole::ResidentAgent},
      {true, "X_Agent.exe", "Agent.exe", true, false, 1, StubRole::AlreadyRunning},
      {true, "Other.exe", "Agent.exe", false, false, 1, StubRole::Setup},
      {true, "Other.exe", "Agent.exe", false, true, 1, StubRole::Relaunch},
      {false, "setup.exe", "Agent.exe", false, false, 1, StubRole::Setup},   // not an agent copy
      {false, "Agent.exe", "Agent.exe", false, false, 1, StubRole::Setup},
      {false, "setup.exe", "", false, true, 1, StubRole::Relaunch},
      {false, "Y_setup.exe", "", false, true, 2, StubRole::Setup},          // the temporary copy
      {false, "setup.exe", "", false, true, 3, StubRole::Setup},
  };
  for (const Case& c : cases) {
    RoleFacts f;
    f.agentCopy = c.agentCopy;
    f.ownFileName = c.own;
    f.agentFileName = c.agent;
    f.classWindowExists = c.window;
    f.runFromTempCopy = c.tempFlag;
    f.spanCdLevel = c.level;
    EXPECT_EQ(ChooseRole(f), c.role) << c.own << " " << RoleName(c.role);
  }
}

TEST(RoleChoice, ClassNames) {
  EXPECT_EQ(StubClassNameFor(true, "C:\\P\\X_Agent.exe"), ".AutoUpdate.X_Agent");
  EXPECT_EQ(StubClassNameFor(false, "C:\\P\\setup.exe"), "C:\\P\\setup.exe");
  EXPECT_EQ(ResidentClassNameFor("a.b.exe"), ".AutoUpdate.X_a.b");
}

TEST(Overrides, ListAndApply) {
  ResetOverridesForTesting();
  EXPECT_EQ(OverrideList(), "|255|255|255|255|255|255|255|255|");
  SetOverride(kOverrideRequestConfirmationBeforeDownload, 1);
  EXPECT_EQ(OverrideList(), "|255|1|255|255|255|255|255|255|");
  ApplyOverrideList("|1|x|");
  EXPECT_EQ(OverrideList(), "|1|1|255|255|255|255|255|255|");
  EXPECT_TRUE(AskBeforeProbe());
  ApplyOverrideList("|0|0|0|0|0|0|0|300|");
  EXPECT_EQ(GetOverride(7), 300 & 0xFF);
  ResetOverridesForTesting();
}

namespace {
void Collect(const std::string& text, void* context) { static_cast<std::vector<std::string>*>(context)->push_back(text); }
}  // namespace

TEST(DebugDevice, HandsOverAtLineEndsAndFullBuffers) {
  std::vector<std::string> got;
  DebugDevice device(Collect, &got);
  device.Write(std::string(300, 'a') + "\r\n");
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0], std::string(128, 'a'));
  EXPECT_EQ(got[1], std::string(128, 'a'));
  EXPECT_EQ(got[2], std::string(44, 'a') + "\r\n");
  got.clear();
  device.Write(std::string(128, 'b'));
  device.Write("\r\n");
  ASSERT_EQ(got.size(), 2u);  // the line end becomes a text of its own
  EXPECT_EQ(got[1], "\r\n");
  got.clear();
  device.Write("1234 ==== start");
  EXPECT_TRUE(got.empty());  // no line end yet
  device.Write("\r\n");
  EXPECT_EQ(got, std::vector<std::string>{"1234 ==== start\r\n"});
}

TEST(RunLog, LineFormatAndFileName) {
  CivilTime t;
  t.year = 2026; t.month = 12; t.day = 5; t.hour = 22; t.minute = 21; t.second = 13;
  EXPECT_EQ(FormatLogLine(t, '/', ':', 1234, "   ", "Start"), "05/12/26 22:21:13  1234   Start\r\n");
  EXPECT_EQ(FormatLogLine(t, '.', ':', 123456, " X ", "Start"), "05.12.26 22:21:13 123456 X Start\r\n");
  EXPECT_EQ(LogFileNameFor("D:\\Agent.exe"), "D:\\X_Agent.log");
  EXPECT_EQ(LogFileNameFor("D:\\X_Agent.exe"), "D:\\X_Agent.log");
  EXPECT_EQ(LogFileNameFor("D:\\P\\x_agent.exe"), "D:\\P\\X_x_agent.log");
}
