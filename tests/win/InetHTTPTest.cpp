// Downloads through WinINet from real servers on 127.0.0.1: nginx serving a folder and the
// scripted fault server of tests/e2e/servers.py. The test runner passes their addresses in
// STUB_NGINX_URL, STUB_NGINX_ROOT (the served folder, as a Windows path) and STUB_FAULT_URL;
// without them the server tests are skipped.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "inet/HttpText.h"
#include "inet/InetHTTP.h"
#include "support/Files.h"
#include "support/Utils.h"

using namespace stub;

namespace {

std::string Env(const char* name) {
  char buffer[1024] = {};
  DWORD n = GetEnvironmentVariableA(name, buffer, sizeof buffer);
  return n > 0 && n < sizeof buffer ? std::string(buffer, n) : std::string();
}

// The bytes the fault server sends: i * 31 mod 253.
std::string Pattern(size_t n) {
  std::string data(n, '\0');
  for (size_t i = 0; i < n; ++i) data[i] = static_cast<char>(i * 31 % 253);
  return data;
}

struct BarEvent {
  int kind;
  int64_t maximum;
};
std::vector<BarEvent> g_bar;
void RecordBar(int kind, int64_t maximum, const std::string&, int, int) { g_bar.push_back({kind, maximum}); }

// Files of the partial downloads beside path ("path.N").
std::vector<std::string> Partials(const std::string& path) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA((path + ".*").c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    std::string name = FolderPart(path) + entry.cFileName;
    if (!SameText(name, path)) names.push_back(name);
  } while (FindNextFileA(search, &entry));
  FindClose(search);
  return names;
}

class InetHTTPTest : public ::testing::Test {
 protected:
  void SetUp() override {
    nginxUrl_ = Env("STUB_NGINX_URL");
    nginxRoot_ = Env("STUB_NGINX_ROOT");
    faultUrl_ = Env("STUB_FAULT_URL");
    if (nginxUrl_.empty() || nginxRoot_.empty() || faultUrl_.empty())
      GTEST_SKIP() << "STUB_NGINX_URL, STUB_NGINX_ROOT and STUB_FAULT_URL name no servers";
    tag_ = IntText(GetCurrentProcessId());
    dir_ = TempFolder(true) + "StubHttpTest_" + tag_;
    DeleteTree(dir_, true);
    ASSERT_TRUE(ForceDirectories(dir_));
    SetDownloadAbort(false);
    g_bar.clear();
  }
  void TearDown() override {
    SetDownloadAbort(false);
    if (!dir_.empty()) DeleteTree(dir_, true);
    for (const std::string& name : served_) DeleteFileA(name.c_str());
  }
  // Puts data into nginx's folder; its address.
  std::string Serve(const std::string& name, const std::string& data) {
    std::string file = nginxRoot_ + "\\" + tag_ + "_" + name;
    EXPECT_TRUE(SaveToFile(file, data, 0, false)) << file;
    served_.push_back(file);
    return nginxUrl_ + "/" + tag_ + "_" + name;
  }
  std::string Path(const std::string& name) const { return dir_ + "\\" + name; }

  std::string nginxUrl_, nginxRoot_, faultUrl_, tag_, dir_;
  std::vector<std::string> served_;
};

}  // namespace

static BOOL WINAPI Offline(LPDWORD, DWORD) {
  SetLastError(ERROR_NOT_CONNECTED);
  return FALSE;
}

TEST(InetHTTPConnection, TheSeamDecidesAndGivesTheSystemText) {
  std::string text;
  EXPECT_TRUE(IsInternetConnected(text));  // the library's answer (always yes under Wine)
  SetConnectedStateForTesting(Offline);
  EXPECT_FALSE(IsInternetConnected(text));
  EXPECT_FALSE(IsInternetConnected());
  SetConnectedStateForTesting(nullptr);
  EXPECT_FALSE(text.empty());
  EXPECT_NE(text.find("not"), std::string::npos) << text;
  EXPECT_TRUE(IsInternetConnected());
}

TEST(InetHTTPConnection, ClosedPortFailsAtOnce) {
  // Nothing listens on port 1 of loopback.
  const std::string url = "http://127.0.0.1:1/setup.exe";
  EXPECT_EQ(HTTP_GetFileSize(url), -1);
  std::string error, data;
  std::string dest = TempFolder(true) + "StubHttpClosedPort.exe";
  EXPECT_FALSE(HTTP_DownloadFile_Incremental(nullptr, url, dest, error, nullptr, data));
  EXPECT_EQ(error, "Unable to open Internet Connection: " + url);
  EXPECT_FALSE(FileExists(dest));
}

TEST_F(InetHTTPTest, DownloadFromNginxIntoFileAndMemory) {
  const std::string body = Pattern(300000);
  const std::string url = Serve("big.bin", body);
  EXPECT_EQ(HTTP_GetFileSize(url), 300000);

  // A stale partial download under another length's name, and an older destination.
  const std::string dest = Path("big.bin");
  ASSERT_TRUE(SaveToFile(dest + ".12345", "stale", 0, false));
  ASSERT_TRUE(SaveToFile(dest, "older version", 0, false));
  std::string error, data = "left over";
  TProgBar bar(RecordBar);
  ASSERT_TRUE(HTTP_DownloadFile_Incremental(nullptr, url, dest, error, &bar, data)) << error;
  EXPECT_EQ(error, "");
  EXPECT_EQ(data, "");
  EXPECT_EQ(ReadFilePart(dest, 0, 0), body);
  EXPECT_TRUE(Partials(dest).empty());
  // 37 reads of 8192 bytes: a start with maximum 38 and one step per read.
  ASSERT_EQ(g_bar.size(), 38u);
  EXPECT_EQ(g_bar[0].kind, 0);
  EXPECT_EQ(g_bar[0].maximum, 38);

  const std::string smallUrl = Serve("small.bin", body.substr(0, 500));
  g_bar.clear();
  ASSERT_TRUE(HTTP_DownloadFile_Incremental(nullptr, smallUrl, "", error, &bar, data)) << error;
  EXPECT_EQ(data, body.substr(0, 500));
  // Ten reads of 50 bytes.
  ASSERT_EQ(g_bar.size(), 11u);
  EXPECT_EQ(g_bar[0].maximum, 11);

  // Without a scheme the address gets "http://"; nginx's 404 page is a download like any other,
  // which CheckErrorPage then recognises.
  const std::string bare = smallUrl.substr(std::string("http://").size());
  ASSERT_TRUE(HTTP_DownloadFile_Incremental(nullptr, bare, "", error, nullptr, data)) << error;
  EXPECT_EQ(data, body.substr(0, 500));
  const std::string missing = nginxUrl_ + "/no-such-file.info";
  ASSERT_TRUE(HTTP_DownloadFile_Incremental(nullptr, missing, Path("a.info"), error, nullptr, data)) << error;
  EXPECT_EQ(CheckErrorPage(Path("a.info"), "", missing, false, "Bad Secret Token!"),
            ErrorPageMessage("<title>404</title>", missing, false, ""));
  EXPECT_EQ(CheckErrorPage(Path("big.bin"), "", missing, false, "Bad Secret Token!"), "Bad Secret Token!");
  EXPECT_EQ(CheckErrorPage(Path("gone"), "<HTML><HEAD><TITLE>x</TITLE>", missing, false, "d"),
            ErrorPageMessage("<title>404</title>", missing, false, ""));
}

TEST_F(InetHTTPTest, CleanUpTakesOnlyItsOwnTemporaryFiles) {
  // A failed download must leave the destination and its namesakes alone: "Product.*" matches
  // Product.exe, and "Product.info.*" matches Product.info itself.
  const std::string dest = Path("Product.info");
  const char* const kept[] = {"Product.info", "Product.exe", "Product.info.bak", "Product.info.12a"};
  for (const char* name : kept) ASSERT_TRUE(SaveToFile(Path(name), name, 0, false));
  ASSERT_TRUE(SaveToFile(dest + ".4711", "stale", 0, false));
  std::string error, data;
  EXPECT_FALSE(HTTP_DownloadFile_Incremental(nullptr, faultUrl_ + "/short/100000/5000", dest, error, nullptr, data));
  for (const char* name : kept) EXPECT_EQ(ReadFilePart(Path(name), 0, 0), name) << name;
  EXPECT_FALSE(FileExists(dest + ".4711"));
  const std::string product = Path("Product");
  EXPECT_FALSE(HTTP_DownloadFile_Incremental(nullptr, faultUrl_ + "/short/100000/5000", product, error, nullptr, data));
  EXPECT_EQ(ReadFilePart(Path("Product.exe"), 0, 0), "Product.exe");
}

TEST_F(InetHTTPTest, FaultServerAnswers) {
  struct Case {
    std::string path;
    bool ok;
    std::string error;      // "" = success
    size_t destSize;        // bytes at the destination; npos = no destination
    size_t partialSize;     // bytes of the one partial file left; npos = none left
  } cases[] = {
      {"/file/5000", true, "", 5000, std::string::npos},
      {"/zero", false, faultUrl_ + "/zero --- File Not Found !", std::string::npos, std::string::npos},
      {"/short/100000/5000", false, "5000 --- Error downloading file (5000 of 100000 bytes received)",
       std::string::npos, 5000},
      {"/nolength/20000", false, "20000 --- Error downloading file (the server gave no length; 20000 bytes received)",
       std::string::npos, 20000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    const std::string dest = Path("fault.bin");
    DeleteFiles(dest + ".*", true);
    std::string error, data;
    EXPECT_EQ(HTTP_DownloadFile_Incremental(nullptr, faultUrl_ + c.path, dest, error, nullptr, data), c.ok);
    EXPECT_EQ(error, c.error);
    if (c.destSize == std::string::npos) {
      EXPECT_FALSE(FileExists(dest));
    } else {
      EXPECT_EQ(ReadFilePart(dest, 0, 0), Pattern(c.destSize));
    }
    std::vector<std::string> partials = Partials(dest);
    if (c.partialSize == std::string::npos) {
      EXPECT_TRUE(partials.empty());
    } else {
      ASSERT_EQ(partials.size(), 1u);
      EXPECT_EQ(ReadFilePart(partials[0], 0, 0), Pattern(c.partialSize));
    }
  }
  // More bytes than announced: Windows stops reading at the announced length, Wine reads on
  // to the end of the connection. Either way no file of another length passes as the file.
  {
    const std::string dest = Path("long.bin");
    std::string error, data;
    if (HTTP_DownloadFile_Incremental(nullptr, faultUrl_ + "/long/1000/3000", dest, error, nullptr, data)) {
      EXPECT_EQ(ReadFilePart(dest, 0, 0), Pattern(1000));
    } else {
      EXPECT_EQ(error, "3000 --- Error downloading file (3000 of 1000 bytes received)");
      EXPECT_FALSE(FileExists(dest));
    }
  }
  // The partial file's name: the destination, ".", length + Last-Modified as a DOS date.
  CivilTime modified;
  modified.year = 2024, modified.month = 3, modified.day = 5, modified.hour = 10, modified.minute = 20,
  modified.second = 30;
  std::string error, data;
  HTTP_DownloadFile_Incremental(nullptr, faultUrl_ + "/short/100000/5000", Path("named.bin"), error, nullptr, data);
  EXPECT_TRUE(FileExists(TempDownloadPath(Path("named.bin"), 100000, DosFileDate(modified))));
}

TEST_F(InetHTTPTest, FaultServerIntoMemory) {
  struct Case {
    std::string path;
    std::string error;
    size_t size;
  } cases[] = {
      {"/nolength/20000", "", 20000},  // in memory the end of the body is the end of the file
      {"/short/100000/5000", "5000 --- Error downloading file (5000 of 100000 bytes received)", 5000},
      {"/zero", faultUrl_ + "/zero --- File Not Found !", 0},
      {"/page/200/a.info", "", std::string::npos},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    std::string error, data;
    EXPECT_EQ(HTTP_DownloadFile_Incremental(nullptr, faultUrl_ + c.path, "", error, nullptr, data), c.error.empty());
    EXPECT_EQ(error, c.error);
    if (c.size != std::string::npos) {
      EXPECT_EQ(data, Pattern(c.size));
    }
  }
  // An error page sent with 200 instead of the description file.
  std::string error, data;
  HTTP_DownloadFile_Incremental(nullptr, faultUrl_ + "/page/200/a.info", "", error, nullptr, data);
  EXPECT_NE(CheckErrorPage("", data, "u", true, "fine"), "fine");
  EXPECT_EQ(HTTP_GetFileSize(faultUrl_ + "/nolength/100"), -1);
  EXPECT_EQ(HTTP_GetFileSize(faultUrl_ + "/file/777"), 777);
}

namespace {

// A window that takes a close request the way the stub window does: it sets the abort flag.
LRESULT CALLBACK CloseToAbort(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CLOSE) {
    SetDownloadAbort(true);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

HWND g_closeTarget = nullptr;
int g_steps = 0;
// Posts the close request after the third step; it arrives during the next read's pump.
void CloseAfterThirdStep(int kind, int64_t, const std::string&, int, int) {
  if (kind == 1 && ++g_steps == 3) PostMessageA(g_closeTarget, WM_CLOSE, 0, 0);
}

}  // namespace

TEST_F(InetHTTPTest, AbortKeepsThePartialFileAndTheDestinationAway) {
  const std::string url = Serve("abort.bin", Pattern(200000));
  const std::string dest = Path("abort.bin");

  // Set before the start: one read, then the end.
  SetDownloadAbort(true);
  std::string error, data;
  EXPECT_FALSE(HTTP_DownloadFile_Incremental(nullptr, url, dest, error, nullptr, data));
  EXPECT_EQ(error, "Download Aborted");
  EXPECT_FALSE(FileExists(dest));
  ASSERT_EQ(Partials(dest).size(), 1u);
  EXPECT_EQ(FileSizeByName(Partials(dest)[0]), 8192);

  // A close request handled during the pump: the read after it is the last.
  SetDownloadAbort(false);
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = CloseToAbort;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "StubHttpTestCloseTarget";
  RegisterClassA(&windowClass);
  g_closeTarget = CreateWindowExA(0, windowClass.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  windowClass.hInstance, nullptr);
  ASSERT_NE(g_closeTarget, nullptr);
  g_steps = 0;
  TProgBar bar(CloseAfterThirdStep);
  EXPECT_FALSE(HTTP_DownloadFile_Incremental(nullptr, url, dest, error, &bar, data));
  DestroyWindow(g_closeTarget);
  EXPECT_EQ(error, "Download Aborted");
  EXPECT_FALSE(FileExists(dest));
  ASSERT_EQ(Partials(dest).size(), 1u);  // the earlier partial file went first
  // The request arrives in the bar's own wait when one is installed, else in the pump before
  // the fourth read; either way no read follows the one during which it came.
  const std::string partial = ReadFilePart(Partials(dest)[0], 0, 0);
  EXPECT_TRUE(partial == Pattern(3 * 8192) || partial == Pattern(4 * 8192)) << partial.size();
}

TEST_F(InetHTTPTest, LockedDestinationIsAFailure) {
  const std::string url = Serve("locked.bin", Pattern(3000));
  const std::string dest = Path("locked.bin");
  ASSERT_TRUE(SaveToFile(dest, "older version", 0, false));
  HANDLE lock = CreateFileA(dest.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  std::string error, data;
  EXPECT_FALSE(HTTP_DownloadFile_Incremental(nullptr, url, dest, error, nullptr, data));
  CloseHandle(lock);
  EXPECT_EQ(error.rfind(tag_ + "_locked.bin --- Error downloading file", 0), 0u) << error;
  EXPECT_EQ(ReadFilePart(dest, 0, 0), "older version");
  ASSERT_EQ(Partials(dest).size(), 1u);
  EXPECT_EQ(ReadFilePart(Partials(dest)[0], 0, 0), Pattern(3000));
}
