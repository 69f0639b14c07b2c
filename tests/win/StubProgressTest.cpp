// The stub's progress handler on real progress controls.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <vector>

#include "inet/VProgBarWin.h"

using namespace stub;

namespace {

class StubProgressTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitCommonControls();
    main_ = CreateWindowExA(0, PROGRESS_CLASSA, "", WS_POPUP, 0, 0, 200, 20, nullptr, nullptr, nullptr, nullptr);
    activity_ = CreateWindowExA(0, PROGRESS_CLASSA, "", WS_POPUP, 0, 30, 50, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(main_ && activity_);
    SetStubProgressBars(main_, activity_);
  }
  void TearDown() override {
    SetStubProgressBars(nullptr, nullptr);
    DestroyWindow(main_);
    DestroyWindow(activity_);
  }
  static int Pos(HWND bar) { return static_cast<int>(SendMessageA(bar, PBM_GETPOS, 0, 0)); }
  static int High(HWND bar) { return static_cast<int>(SendMessageA(bar, PBM_GETRANGE, FALSE, 0)); }
  HWND main_ = nullptr, activity_ = nullptr;
};

}  // namespace

TEST_F(StubProgressTest, FileBarStepsAndActivityBarRunsOnAcrossResets) {
  StubProgressHandler(0, 10, "", 1, 2);
  EXPECT_EQ(High(main_), 10);
  EXPECT_EQ(Pos(main_), 2);
  EXPECT_EQ(High(activity_), 5);
  EXPECT_EQ(Pos(activity_), 0);
  int places[7];
  for (int& place : places) {
    StubProgressHandler(1, 0, "a file", 0, 0);
    place = Pos(activity_);
  }
  EXPECT_EQ(Pos(main_), 9);
  EXPECT_EQ(std::vector<int>(places, places + 7), (std::vector<int>{1, 2, 3, 4, 5, 0, 1}));
  // A reset empties both bars, but the activity counter goes on from where it was.
  StubProgressHandler(0, 3, "", 1, 0);
  EXPECT_EQ(Pos(activity_), 0);
  StubProgressHandler(1, 0, "", 0, 0);
  EXPECT_EQ(Pos(activity_), 2);
  EXPECT_EQ(Pos(main_), 1);
}

TEST_F(StubProgressTest, LargeMaximaKeepTheirRange) {
  StubProgressHandler(0, 70000, "", 1, 0);
  EXPECT_EQ(High(main_), 70000);
  StubProgressHandler(0, 65535, "", 1, 0);
  EXPECT_EQ(High(main_), 65535);
}
