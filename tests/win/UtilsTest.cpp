// The system-facing utilities under the real Win32 API: INI files, registry reads, waits that
// serve window messages, and the facts the program asks the system for.
#include <windows.h>

#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <string>

#include "support/Files.h"
#include "support/Utils.h"

using namespace stub;

namespace {

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = TempFolder(true) + "StubUtilsTest_" + IntText(GetCurrentProcessId());
    DeleteTree(dir_, true);
    ASSERT_TRUE(ForceDirectories(dir_));
  }
  void TearDown() override { DeleteTree(dir_, true); }
  std::string Path(const std::string& name) const { return dir_ + "\\" + name; }
  std::string dir_;
};

// ---------------------------------------------------------------------------------------
// INI files

using IniTest = TempDir;

TEST_F(IniTest, ReadsValuesAndFallsBackToTheDefault) {
  std::string ini = Path("setup.ini");
  ASSERT_TRUE(SaveToFile(ini,
                         "[Main]\r\nName =  spaced value  \r\nQuoted=\"q v\"\r\nEmpty=\r\nNumber=42\r\n"
                         "Negative=-7\r\nBad=12x\r\n[Other]\r\nName=other\r\n",
                         0, false));
  struct Case {
    const char* section;
    const char* key;
    const char* expected;
  } cases[] = {
      {"Main", "Name", "spaced value"},
      {"MAIN", "name", "spaced value"},  // sections and keys ignore case
      {"Other", "Name", "other"},
      {"Main", "Quoted", "q v"},
      {"Main", "Empty", "DEF"},  // an empty value counts as absent
      {"Main", "Missing", "DEF"},
      {"Missing", "Name", "DEF"},
      {"", "Name", "DEF"},  // no section: never asks the system
  };
  for (const Case& c : cases)
    EXPECT_EQ(ReadIniString(ini, c.section, c.key, "DEF"), c.expected) << c.section << "/" << c.key;
  EXPECT_EQ(ReadIniString(ini, "Main", "Missing", ""), "");
  EXPECT_EQ(ReadIniString(Path("none.ini"), "Main", "Name", "DEF"), "DEF");

  EXPECT_EQ(ReadIniInt(ini, "Main", "Number", 5), 42);
  EXPECT_EQ(ReadIniInt(ini, "Main", "Negative", 5), -7);
  EXPECT_EQ(ReadIniInt(ini, "Main", "Bad", 5), 5);
  EXPECT_EQ(ReadIniInt(ini, "Main", "Missing", -3), -3);
  EXPECT_EQ(ReadIniInt(ini, "Main", "Empty", 9), 9);
}

TEST_F(IniTest, WritesRoundTrip) {
  std::string ini = Path("written.ini");
  EXPECT_TRUE(WriteIniString(ini, "AutoUpdate", "URL", "http://127.0.0.1/x.info"));
  EXPECT_TRUE(WriteIniInt(ini, "AutoUpdate", "Next", 46000123456789LL));
  EXPECT_TRUE(WriteIniInt(ini, "AutoUpdate", "Low", -12));
  EXPECT_TRUE(WriteIniString(ini, "AutoUpdate", "URL", "http://127.0.0.1/y.info"));  // replaces
  EXPECT_EQ(ReadIniString(ini, "AutoUpdate", "URL", ""), "http://127.0.0.1/y.info");
  EXPECT_EQ(ReadIniInt(ini, "AutoUpdate", "Next", 0), 46000123456789LL);
  EXPECT_EQ(ReadIniInt(ini, "AutoUpdate", "Low", 0), -12);

  EXPECT_FALSE(WriteIniString(Path("no\\such\\folder\\x.ini"), "A", "B", "C"));
}

// ---------------------------------------------------------------------------------------
// Registry

TEST(RegistryPath, SplitsRootAndSubKey) {
  struct Case {
    const char* path;
    HKEY root;
    const char* subKey;
  } cases[] = {
      {"HKCU", HKEY_CURRENT_USER, ""},
      {"Software\\X", HKEY_CURRENT_USER, "Software\\X"},
      {"HKLM\\SOFTWARE\\Microsoft", HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft"},
      {"HKXX\\Software", HKEY_CURRENT_USER, "Software"},
      {"  hkey_classes_root\\.txt  ", HKEY_CLASSES_ROOT, ".txt"},
      {"HKEY_USERS\\.DEFAULT", HKEY_USERS, ".DEFAULT"},
      {"HKU", HKEY_USERS, ""},
      {"hkcc\\System", HKEY_CURRENT_CONFIG, "System"},
      {"HKDD", HKEY_DYN_DATA, ""},
      {"HKEY_LOCAL_MACHINE\\", HKEY_LOCAL_MACHINE, ""},
      {"", HKEY_CURRENT_USER, ""},
  };
  for (const Case& c : cases) {
    HKEY root = nullptr;
    std::string subKey = "unset";
    SplitRegPath(c.path, root, subKey);
    EXPECT_EQ(root, c.root) << c.path;
    EXPECT_EQ(subKey, c.subKey) << c.path;
  }
  EXPECT_EQ(RegRootFromName("HKEY_CURRENT_CONFIG"), HKEY_CURRENT_CONFIG);
  EXPECT_EQ(RegRootFromName("hkcr"), HKEY_CLASSES_ROOT);
  EXPECT_EQ(RegRootFromName("HKEY_LOCAL"), HKEY_CURRENT_USER);
}

// Values of every kind under HKCU\Software\StubTests\<pid>, deleted afterwards.
class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sub_ = "Software\\StubTests\\" + IntText(GetCurrentProcessId());
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, sub_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    Set(key, "Str", REG_SZ, std::string("hello world") + '\0');
    Set(key, "", REG_SZ, std::string("the default") + '\0');
    Set(key, "Dword", REG_DWORD, std::string("\xFF\xFF\xFF\xFF", 4));
    Set(key, "Small", REG_DWORD, std::string("\x2A\x00\x00\x00", 4));
    Set(key, "Multi", REG_MULTI_SZ, std::string("a\0b\0\0", 5));
    Set(key, "MultiOne", REG_MULTI_SZ, std::string("only\0\0", 6));
    Set(key, "Binary", REG_BINARY, std::string("ab\0cd", 5));
    Set(key, "Huge", REG_SZ, std::string(20000, 'x') + '\0');  // beyond the 10241-byte buffer
    RegCloseKey(key);
  }
  void TearDown() override {
    RegDeleteKeyA(HKEY_CURRENT_USER, sub_.c_str());
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\StubTests");  // fails harmlessly while others use it
  }
  static void Set(HKEY key, const char* name, DWORD type, const std::string& data) {
    ASSERT_EQ(RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                             static_cast<DWORD>(data.size())),
              ERROR_SUCCESS);
  }
  std::string sub_;
};

TEST_F(RegistryTest, ConvertsEachValueType) {
  std::string path = "HKEY_CURRENT_USER\\" + sub_;
  struct Case {
    const char* name;
    const char* expected;
  } cases[] = {
      {"Str", "hello world"},   {"", "the default"},    {"Dword", "4294967295"},
      {"Small", "42"},          {"Multi", "a<0>b"},     {"MultiOne", "only"},
      {"Binary", "ab"},         {"Huge", "DEF"},        {"Missing", "DEF"},
  };
  for (const Case& c : cases) EXPECT_EQ(ReadRegString(path, c.name, "DEF", RegView64Default), c.expected) << c.name;
}

TEST_F(RegistryTest, FindsTheKeyByEveryPathForm) {
  for (const std::string& path : {"HKCU\\" + sub_, sub_, "  hkey_current_user\\" + sub_ + "  "})
    EXPECT_EQ(ReadRegString(path, "Str", "DEF", false), "hello world") << path;
  // HKCU\Software is shared by both views.
  EXPECT_EQ(ReadRegString("HKCU\\" + sub_, "Str", "DEF", true), "hello world");
  EXPECT_EQ(ReadRegString("HKCU\\" + sub_ + "\\Missing", "Str", "DEF", false), "DEF");
  EXPECT_EQ(ReadRegString("HKLM\\" + sub_, "Str", "DEF", false), "DEF");
}

TEST(Registry, RegisteredOwnerComesFromTheNtKey) {
  ASSERT_TRUE(IsWinNT());
  const std::string nt = "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
  std::string stored = ReadRegString(nt, "RegisteredOwner", "\x01" "absent", false);
  std::string expected = stored == "\x01" "absent" ? CurrentUserName() : Trim(stored);
  EXPECT_EQ(GetRegisteredOwner(), expected);
  EXPECT_EQ(GetRegisteredOrganization(), Trim(ReadRegString(nt, "RegisteredOrganization", "", false)));
}

// ---------------------------------------------------------------------------------------
// Waiting while serving messages

const UINT kPing = WM_APP + 7;
int g_pings = 0;

LRESULT CALLBACK PingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kPing) {
    ++g_pings;
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

class PumpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = PingProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "StubPumpTest";
    RegisterClassA(&wc);  // fails harmlessly when an earlier test registered it
    window_ = CreateWindowExA(0, "StubPumpTest", "Ping window", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              wc.hInstance, nullptr);
    ASSERT_TRUE(window_ != nullptr);
    g_pings = 0;
  }
  void TearDown() override { DestroyWindow(window_); }
  HWND window_ = nullptr;
};

TEST_F(PumpTest, DispatchesPostedMessagesAndLastsTheDuration) {
  PostMessageA(window_, kPing, 0, 0);
  PostMessageA(window_, kPing, 0, 0);
  double start = MillisecondCounter();
  WaitPumping(0, 400);
  double elapsed = MillisecondCounter() - start;
  EXPECT_EQ(g_pings, 2);
  EXPECT_GE(elapsed, 400);
  EXPECT_LT(elapsed, 5000);
}

TEST_F(PumpTest, ZeroDurationStillServesOnce) {
  PostMessageA(window_, kPing, 0, 0);
  WaitPumping(0, 0);
  EXPECT_EQ(g_pings, 1);
}

TEST_F(PumpTest, QuitRequestSurvivesTheWait) {
  PostMessageA(window_, kPing, 0, 0);
  PostQuitMessage(7);
  WaitPumping(5, 60);
  EXPECT_EQ(g_pings, 1);
  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 7u);
}

TEST_F(PumpTest, WindowTextReadsTheCaption) {
  EXPECT_EQ(WindowText(window_), "Ping window");
  EXPECT_EQ(WindowText(nullptr), "");
}

// ---------------------------------------------------------------------------------------
// The program and the system

static bool IsVersionText(const std::string& text) {
  int dots = 0;
  bool digit = false;
  for (char c : text) {
    if (c == '.') {
      if (!digit) return false;
      ++dots;
      digit = false;
    } else if (std::isdigit(static_cast<unsigned char>(c))) {
      digit = true;
    } else {
      return false;
    }
  }
  return dots == 3 && digit;
}

using SystemTest = TempDir;

TEST_F(SystemTest, FileVersionTextIsEmptyWithoutVersionInformation) {
  std::string version = FileVersionText(SystemFolder(true) + "kernel32.dll");
  EXPECT_TRUE(IsVersionText(version)) << version;
  std::string plain = Path("plain.txt");
  ASSERT_TRUE(SaveToFile(plain, "no version here", 0, false));
  EXPECT_EQ(FileVersionText(plain), "");
  EXPECT_EQ(FileVersionText(Path("missing.dll")), "");
  EXPECT_EQ(FileVersionText(""), FileVersionText(ExeFileName(false)));
}

TEST(System, OwnFileAndFolders) {
  std::string exe = ExeFileName(false);
  EXPECT_TRUE(FileExists(exe)) << exe;
  EXPECT_TRUE(SameText(ExeFileName(true), "win_tests")) << ExeFileName(true);
  EXPECT_TRUE(SameText(ExeFolder(true) + FileNamePart(exe), exe));
  EXPECT_EQ(ExeFolder(false) + "\\", ExeFolder(true));
  for (const std::string& folder : {WindowsFolder(false), SystemFolder(false), TempFolder(false)}) {
    EXPECT_TRUE(DirectoryExists(folder)) << folder;
    EXPECT_NE(folder.back(), '\\') << folder;
  }
  EXPECT_EQ(TempFolder(true), TempFolder(false) + "\\");
}

TEST(System, LoadProcFindsExportsOnly) {
  EXPECT_TRUE(LoadProc("kernel32.dll", "GetTickCount") != nullptr);
  EXPECT_TRUE(LoadProc("kernel32.dll", "NoSuchExportAnywhere") == nullptr);
  EXPECT_TRUE(LoadProc("no_such_library_here.dll", "GetTickCount") == nullptr);
  auto tick = LoadProcAs<DWORD(WINAPI*)()>("kernel32.dll", "GetTickCount");
  ASSERT_TRUE(tick != nullptr);
  EXPECT_GT(tick(), 0u);
}

TEST(System, SysErrorTextHasTheSystemMessageOrTheFallback) {
  SetLastError(ERROR_FILE_NOT_FOUND);
  std::string text = SysErrorText();
  EXPECT_FALSE(text.empty());
  EXPECT_EQ(text, TrimRight(text));  // no line end left over
  EXPECT_EQ(text.find("Error Reading"), std::string::npos);
  SetLastError(0x2ABCDEF1);  // no message for this number
  EXPECT_EQ(SysErrorText(), "Error Reading \"SysUtils.SysErrorMessage(GetLastError)\"");
}

TEST(System, RandomInRangeStaysInsideAndReachesBothEnds) {
  struct Range {
    int64_t low, high;
  } ranges[] = {{0, 3}, {-5, 5}, {10000, 100000}, {INT64_MIN, INT64_MAX}, {INT64_MAX - 1, INT64_MAX}};
  for (const Range& r : ranges) {
    std::set<int64_t> seen;
    for (int i = 0; i < 2000; ++i) {
      int64_t v = RandomInRange(r.low, r.high);
      ASSERT_GE(v, r.low);
      ASSERT_LE(v, r.high);
      seen.insert(v);
    }
    if (static_cast<uint64_t>(r.high) - static_cast<uint64_t>(r.low) < 20) {
      EXPECT_EQ(seen.count(r.low), 1u) << r.low;
      EXPECT_EQ(seen.count(r.high), 1u) << r.high;
    } else {
      EXPECT_GT(seen.size(), 1000u) << r.low;
    }
  }
  EXPECT_EQ(RandomInRange(8, 8), 8);
  int64_t fromText = ToInt64(RandomInRangeText(10000, 100000), -1);
  EXPECT_GE(fromText, 10000);
  EXPECT_LE(fromText, 100000);
}

TEST(System, AutoPlayMessageIsRegisteredOnlyWhileEnabled) {
  AutoPlayMessage(true);
  EXPECT_EQ(AutoPlayMessageId(), RegisterWindowMessageA("QueryCancelAutoPlay"));
  EXPECT_GE(AutoPlayMessageId(), 0xC000u);
  AutoPlayMessage(false);
  EXPECT_EQ(AutoPlayMessageId(), 0u);
}

TEST(System, AccountAndClockFacts) {
  EXPECT_FALSE(CurrentUserName().empty());
  EXPECT_FALSE(CurrentComputerName().empty());
  EXPECT_EQ(CurrentUserDomain(), Trim(CurrentUserDomain()));
  CivilTime now = LocalNow();
  SYSTEMTIME st;
  GetLocalTime(&st);
  EXPECT_GE(now.year, 2020);
  EXPECT_TRUE(now.year == st.wYear && now.month == st.wMonth) << DateTimeText(now);
  EXPECT_GE(now.day, 1);
  EXPECT_LE(now.hour, 23);
  EXPECT_TRUE(std::ispunct(static_cast<unsigned char>(DateSeparator())) || DateSeparator() == ' ');
  EXPECT_TRUE(std::ispunct(static_cast<unsigned char>(TimeSeparator())));
}

}  // namespace
