#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "autoupdate/Process.h"
#include "autoupdate/ShutDown.h"
#include "support/Files.h"
#include "support/Utils.h"

using namespace stub;

namespace {

typedef BOOL(WINAPI* EnumProcessesFn)(DWORD*, DWORD, DWORD*);

// Process ids in the system's listing order.
std::vector<DWORD> Listed() {
  static EnumProcessesFn enumProcesses = LoadProcAs<EnumProcessesFn>("psapi.dll", "EnumProcesses");
  std::vector<DWORD> ids(4096);
  DWORD filled = 0;
  if (!enumProcesses || !enumProcesses(ids.data(), static_cast<DWORD>(ids.size() * sizeof(DWORD)), &filled))
    return {};
  ids.resize(filled / sizeof(DWORD));
  return ids;
}

// Programs that hold a hidden window (wintest hold-window), started from copies of wintest in
// folders of the test's own; all of them end with the test.
class ProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wintest_ = ExeFolder(true) + "tools\\wintest\\wintest.exe";
    ASSERT_TRUE(FileExists(wintest_)) << wintest_;
    root_ = TempFolder(true) + "ProcessTest_" + IntText(GetCurrentProcessId());
    ForceDirectories(root_);
  }
  void TearDown() override {
    for (HANDLE p : started_) {
      TerminateProcess(p, 0);
      WaitForSingleObject(p, 10000);
      CloseHandle(p);
    }
    DeleteTree(root_, true);
  }

  std::string Program(const std::string& folder) {
    const std::string dir = root_ + "\\" + folder;
    ForceDirectories(dir);
    const std::string path = dir + "\\holder.exe";
    if (!FileExists(path)) CopyFileA(wintest_.c_str(), path.c_str(), FALSE);
    return path;
  }

  // Starts a holder; its window exists once the call returns.
  DWORD Start(const std::string& path, const std::string& className, const std::string& title = "wintest") {
    std::string command = "\"" + path + "\" hold-window " + className + " 60 \"" + title + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    std::vector<char> text(command.begin(), command.end());
    text.push_back('\0');
    // Detached: what the holder prints stays out of the test's output.
    if (!CreateProcessA(nullptr, text.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr, nullptr, &startup,
                        &info))
      return 0;
    CloseHandle(info.hThread);
    started_.push_back(info.hProcess);
    for (int i = 0; i < 200 && !FindWindowA(className.c_str(), nullptr); ++i) Sleep(50);
    return info.dwProcessId;
  }

  std::string wintest_, root_;
  std::vector<HANDLE> started_;
};

DWORD WindowProcess(HWND window) {
  DWORD id = 0;
  GetWindowThreadProcessId(window, &id);
  return id;
}

}  // namespace

TEST_F(ProcessTest, FindsTheLastOfTwoAndMatchesStrictlyOnlyTheSameFile) {
  const std::string a = Program("a"), b = Program("b b");
  const DWORD first = Start(a, "ProcessTestA1"), second = Start(a, "ProcessTestA2");
  const DWORD other = Start(b, "ProcessTestB");
  ASSERT_TRUE(first && second && other);
  const std::vector<DWORD> ids = Listed();
  const auto at = [&](DWORD id) { return std::find(ids.begin(), ids.end(), id) - ids.begin(); };
  const DWORD last = at(first) > at(second) ? first : second;

  EXPECT_EQ(FindProcess(a, true), last);
  EXPECT_EQ(FindProcess(a, false), last);
  EXPECT_EQ(WindowProcess(FindMainWindow(a, true)), last);
  EXPECT_TRUE(IsProcessRunning("  \"" + UpperCase(a) + "\" "));
  EXPECT_EQ(FindProcess(b, true), other);
  // The bare file name: running for the loose question, but nothing is posted or ended.
  EXPECT_NE(FindProcess("holder.exe", false), 0u);
  EXPECT_EQ(FindProcess("holder.exe", true), 0u);
  EXPECT_FALSE(PostProcessMessage("holder.exe", WM_USER + 5, 0, 0));
  EXPECT_FALSE(TerminateProcessByPath("holder.exe"));
  // A file that nobody runs, and one that does not exist.
  EXPECT_FALSE(IsProcessRunning(Program("c")));
  EXPECT_FALSE(IsProcessRunning(root_ + "\\nowhere\\holder.exe"));
  EXPECT_EQ(FindProcess("", false), 0u);

  EXPECT_TRUE(PostProcessMessage(b, WM_USER + 5, 1, 2));
  EXPECT_TRUE(TerminateProcessByPath(b));
  WaitForProcessEnd(b, 20000);
  EXPECT_FALSE(IsProcessRunning(b));
}

TEST_F(ProcessTest, ToolHelpListsNamesOnly) {
  const std::string a = Program("a");
  ASSERT_TRUE(Start(a, "ProcessTestT"));
  UseToolHelpForTesting(true);
  // NT systems list file names here, so only the loose question by name finds the program.
  const DWORD byName = FindProcess("HOLDER.EXE", false);
  const DWORD strict = FindProcess(a, true);
  const bool running = IsProcessRunning("holder.exe");
  UseToolHelpForTesting(false);
  EXPECT_NE(byName, 0u);
  EXPECT_TRUE(running);
  EXPECT_EQ(strict, 0u);
}

TEST_F(ProcessTest, AHiddenUntitledWindowIsNoMainWindow) {
  const std::string a = Program("a");
  ASSERT_TRUE(Start(a, "ProcessTestU", ""));
  EXPECT_NE(FindProcess(a, true), 0u);
  EXPECT_EQ(FindMainWindow(a, true), nullptr);
  EXPECT_FALSE(PostProcessMessage(a, WM_USER + 5, 0, 0));
}

TEST_F(ProcessTest, WaitForProcessEndGivesUpAtItsLimit) {
  const std::string a = Program("a");
  ASSERT_TRUE(Start(a, "ProcessTestW"));
  const DWORD start = GetTickCount();
  WaitForProcessEnd(a, 1500);
  EXPECT_GE(GetTickCount() - start, 1500u);
  EXPECT_TRUE(IsProcessRunning(a));
}

// The holder ends on WM_QUIT and on termination; on WM_CLOSE its window goes but the program
// stays, as a product that ignores the request would.
TEST_F(ProcessTest, ShutDownByEachMethodAndWhatItLeaves) {
  const ShutDownNotice notice;
  const struct {
    const char* method;
    ProductState state;
  } cases[] = {
      {"Using WM_QUIT", ProductState::kStopped},
      {"Using Terminate Process", ProductState::kStopped},
      {"Using WM_CLOSE", ProductState::kStillRunning},
      {"using wm_quit", ProductState::kStillRunning},  // not a method: nothing is asked
      {"", ProductState::kStillRunning},
      {"Don't Shut Down", ProductState::kLeftRunning},
  };
  int n = 0;
  for (const auto& c : cases) {
    const std::string product = Program("p" + IntText(n));
    ASSERT_TRUE(Start(product, "ShutDownTest" + IntText(n++))) << c.method;
    const DWORD start = GetTickCount();
    EXPECT_EQ(ShutDownProduct("\"" + product + "\"", c.method, notice, 1500), c.state) << c.method;
    // Only a product that keeps running makes the agent wait out the limit.
    if (c.state == ProductState::kStillRunning) {
      EXPECT_GE(GetTickCount() - start, 1500u) << c.method;
    }
    EXPECT_EQ(IsProcessRunning(product), c.state != ProductState::kStopped) << c.method;
  }
  // Not running: nothing to stop. A program of the same name elsewhere is not the product.
  const std::string product = Program("q"), namesake = Program("r");
  ASSERT_TRUE(Start(namesake, "ShutDownTestNamesake"));
  EXPECT_EQ(ShutDownProduct(product, "Using WM_QUIT", notice, 1500), ProductState::kNotRunning);
  EXPECT_EQ(ShutDownProduct(product, "Issue a Message Box", notice, 1500), ProductState::kNotRunning);
  EXPECT_TRUE(IsProcessRunning(namesake));
}

// The facts behind the scores, gathered from real windows of this process.
TEST(TAnalizer, ScoresOwnersTitlesAndVisibility) {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "TAnalizerTest";
  RegisterClassA(&wc);
  auto make = [&](const char* title, DWORD style, HWND owner) {
    return CreateWindowExA(0, wc.lpszClassName, title, style, 0, 0, 50, 50, owner, nullptr, wc.hInstance, nullptr);
  };
  HWND visibleUntitled = make("", WS_POPUP | WS_VISIBLE, nullptr);
  HWND hiddenTitled = make("Agent", WS_POPUP, nullptr);
  HWND owner = make("", WS_POPUP, nullptr);
  HWND owned = make("", WS_POPUP, owner);
  HWND ownedOfOwned = make("", WS_POPUP, owned);
  ASSERT_TRUE(visibleUntitled && hiddenTitled && owner && owned && ownedOfOwned);

  TAnalizer analizer(GetCurrentProcessId());
  analizer.Collect();
  analizer.Score();
  EXPECT_EQ(analizer.Count, static_cast<int32_t>(analizer.Windows.size()));
  auto score = [&](HWND w) {
    auto at = std::find(analizer.Windows.begin(), analizer.Windows.end(), w);
    return at == analizer.Windows.end() ? -1 : static_cast<int>(analizer.Scores[at - analizer.Windows.begin()]);
  };
  EXPECT_EQ(score(visibleUntitled), 1);
  EXPECT_EQ(score(hiddenTitled), 2);
  EXPECT_EQ(score(owner), 8);  // two windows in its chain
  EXPECT_EQ(score(owned), 0);
  for (HWND w : {ownedOfOwned, owned, owner, hiddenTitled, visibleUntitled}) DestroyWindow(w);
}
