#include <windows.h>

#include <gtest/gtest.h>

#include "autoupdate/AgentOverrides.h"
#include "autoupdate/AgentControl.h"

using namespace stub;

TEST(AgentCommand, ControlStateCommands) {
  AgentControlState& s = AgentState();
  s = AgentControlState();
  EXPECT_EQ(AgentCommand(31, 0), 0);
  EXPECT_TRUE(s.ShotForced);
  EXPECT_EQ(s.AutoUpdateTimerCount, 1);  // -3 becomes 1
  EXPECT_EQ(s.TestCycleMode, 0);
  s.AutoUpdateTimerCount = 7;
  AgentCommand(31, 2);
  EXPECT_EQ(s.AutoUpdateTimerCount, 7);  // a larger count stays
  EXPECT_EQ(s.TestCycleMode, 2);
  AgentCommand(30, 5);
  EXPECT_EQ(s.StopCountdown, 5);
  AgentCommand(32, 0);
  EXPECT_TRUE(s.JustDownloadInfoFile);
  s.AgentActivity = 3;
  EXPECT_EQ(AgentCommand(7, 0), 3);
  EXPECT_EQ(AgentCommand(99, 1), 0);
  ResetOverridesForTesting();
  AgentCommand(21, 0x101);  // only the low byte counts
  AgentCommand(25, 0);
  EXPECT_EQ(OverrideList(), "|255|1|255|255|255|0|255|255|");
  ResetOverridesForTesting();
  s = AgentControlState();
}

TEST(AgentCommand, NotifyPostsOnlyWithWindowAndMessage) {
  HWND window = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  AgentControlState& s = AgentState();
  s = AgentControlState();
  MSG msg;
  Notify(40, 1);  // no window yet: nothing
  s.NotifyWindow = reinterpret_cast<uintptr_t>(window);
  Notify(40, 1);  // no message number yet: nothing
  EXPECT_FALSE(PeekMessageA(&msg, window, 0, 0, PM_REMOVE));
  s.NotifyMessage = WM_APP + 7;
  Notify(50, 1234);
  ASSERT_TRUE(PeekMessageA(&msg, window, WM_APP + 7, WM_APP + 7, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 50u);
  EXPECT_EQ(msg.lParam, 1234);
  s = AgentControlState();
  DestroyWindow(window);
}
