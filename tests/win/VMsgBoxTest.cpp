// The message box inside the test process: a thread timer, dispatched by the box's own loop,
// looks at the box and answers it, so that what only the box's own process can see (its
// system menu, its quit handling, boxes inside boxes) is checked too.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "support/Utils.h"
#include "ui/VMsgBox.h"

using namespace stub;

namespace {

std::function<void(HWND)> g_whenShown;

BOOL CALLBACK FindOwnBox(HWND window, LPARAM found) {
  char name[16] = {};
  GetClassNameA(window, name, sizeof name);
  if (std::string(name) != "VMsgBox" || !IsWindowVisible(window)) return TRUE;
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}

HWND OwnBox() {
  HWND found = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), FindOwnBox, reinterpret_cast<LPARAM>(&found));
  return found;
}

void CALLBACK OnTimer(HWND, UINT, UINT_PTR id, DWORD) {
  HWND box = OwnBox();
  if (!box || !GetDlgItem(box, 13)) return;
  KillTimer(nullptr, id);
  std::function<void(HWND)> action = std::move(g_whenShown);
  g_whenShown = nullptr;
  if (action) action(box);
}

// Runs action on the next box this thread shows.
void WhenShown(std::function<void(HWND)> action) {
  g_whenShown = std::move(action);
  SetTimer(nullptr, 0, 20, OnTimer);
}

void Click(HWND box, int id) { SendMessageA(GetDlgItem(box, id), BM_CLICK, 0, 0); }

bool CloseGreyed(HWND box) {
  UINT state = GetMenuState(GetSystemMenu(box, FALSE), SC_CLOSE, MF_BYCOMMAND);
  return state != static_cast<UINT>(-1) && (state & (MF_GRAYED | MF_DISABLED));
}

class MsgBoxTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { InitMsgBox(); }
  void TearDown() override {
    g_whenShown = nullptr;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
  }
};

TEST_F(MsgBoxTest, CloseCommandReturnsZeroUnlessGreyed) {
  bool greyed = true;
  WhenShown([&](HWND box) {
    greyed = CloseGreyed(box);
    PostMessageA(box, WM_SYSCOMMAND, SC_CLOSE, 0);
  });
  EXPECT_EQ(ShowMessageBox(1, "Close me", "Close", 0, 4, 0, ""), 0);
  EXPECT_FALSE(greyed);

  // Mode 2: neither the Close command nor a close request ends the box; a button does.
  bool stillThere = false;
  WhenShown([&](HWND box) {
    greyed = CloseGreyed(box);
    SendMessageA(box, WM_SYSCOMMAND, SC_CLOSE, 0);
    SendMessageA(box, WM_CLOSE, 0, 0);
    stillThere = IsWindow(box) && IsWindowVisible(box);
    Click(box, 7);
  });
  EXPECT_EQ(ShowMessageBox(2, "Only buttons", "No close", 0, 4, 0, ""), 7);
  EXPECT_TRUE(greyed);
  EXPECT_TRUE(stillThere);
}

TEST_F(MsgBoxTest, QuitRequestEndsTheBoxAndReachesTheMainLoop) {
  WhenShown([](HWND) { PostQuitMessage(42); });
  EXPECT_EQ(ShowMessageBox(1, "Quit", "Quit", 0, 0, 0, ""), 0);
  EXPECT_EQ(OwnBox(), nullptr);
  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 42u);
}

TEST_F(MsgBoxTest, BoxShownFromInsideAnotherBox) {
  int inner = -1;
  WhenShown([&](HWND outer) {
    inner = ShowMessageBox(1, "Inner", "Inner", 100, 4, 0, "");  // its time-out says Yes
    EXPECT_TRUE(IsWindowEnabled(outer));
    Click(outer, 2);
  });
  EXPECT_EQ(ShowMessageBox(1, "Outer", "Outer", 0, 1, 0, ""), 2);
  EXPECT_EQ(inner, 6);
}

TEST_F(MsgBoxTest, OwnerHandleThatIsNoLongerAWindow) {
  HWND gone = CreateWindowExA(0, "STATIC", "gone", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  ASSERT_TRUE(gone);
  DestroyWindow(gone);
  HWND owner = reinterpret_cast<HWND>(1);
  WhenShown([&](HWND box) {
    owner = GetWindow(box, GW_OWNER);
    Click(box, 1);
  });
  EXPECT_EQ(ShowMessageBox(reinterpret_cast<OwnerMode>(gone), "Still shown", "Owner", 0, 0, 0, ""), 1);
  EXPECT_EQ(owner, nullptr);
}

TEST_F(MsgBoxTest, LongLineWrapsEvery600Pixels) {
  // The same font the box uses, to know how wide the line is.
  HDC dc = GetDC(nullptr);
  HFONT font = CreateFontA(-PointsToPixels(8), 0, 0, 0, FW_NORMAL, 0, 0, 0, 1, 0, 0, 0, 32, "Tahoma");
  HGDIOBJ old = SelectObject(dc, font);
  TEXTMETRICA metrics;
  GetTextMetricsA(dc, &metrics);
  std::string line;
  SIZE extent = {};
  while (extent.cx < 1400) {
    line += "wrapping ";
    GetTextExtentPoint32A(dc, line.c_str(), static_cast<int>(line.size()), &extent);
  }
  SelectObject(dc, old);
  DeleteObject(font);
  ReleaseDC(nullptr, dc);
  int lines = extent.cx / 600 + 1;
  int lineHeight = metrics.tmHeight + metrics.tmExternalLeading;

  RECT text = {}, client = {};
  WhenShown([&](HWND box) {
    GetWindowRect(GetDlgItem(box, 13), &text);
    GetClientRect(box, &client);
    Click(box, 1);
  });
  EXPECT_EQ(ShowMessageBox(1, line, "Wrap", 0, 0, 0, ""), 1);
  EXPECT_EQ(text.right - text.left, 610);
  // The client height is the text's height plus the gap above and the button band.
  EXPECT_EQ(client.bottom, lines * lineHeight + 64 + 36) << extent.cx;
}

}  // namespace
