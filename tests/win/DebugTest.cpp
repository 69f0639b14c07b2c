#include <windows.h>

#include <gtest/gtest.h>

#include "support/Files.h"
#include "support/Utils.h"
#include "support/VDebug.h"

using namespace stub;

namespace {

const char kDebugFile[] = "C:\\ProgramData\\_vdebug.txt";

std::string ReadAll(const std::string& path) { return ReadFilePart(path, 0, 0); }

}  // namespace

TEST(DebugChannel, FileModesAppendWholeLines) {
  CreateDirectoryA("C:\\ProgramData", nullptr);
  DeleteFileA(kDebugFile);
  SetDebugModeForTesting(1);
  DebugWrite("first piece ");
  EXPECT_FALSE(FileExists(kDebugFile));  // nothing is handed on before the line end
  DebugLine("and its end");
  DebugPidLine(" second");
  SetDebugModeForTesting(2);
  DebugLine("both");
  SetDebugModeForTesting(3);
  DebugLine("nowhere");
  SetDebugModeForTesting(0);
  DebugLine("viewer only");
  EXPECT_EQ(ReadAll(kDebugFile), "first piece and its end\r\n" + PidText() + " second\r\nboth\r\n");
  DeleteFileA(kDebugFile);
}

TEST(RunLog, WritesOnlyWhenEnabled) {
  const std::string log = LogFileName();
  EXPECT_EQ(log, ExeFolder(true) + "X_" + ChangeFileExt(FileNamePart(ExeFileName(false)), ".log"));
  DeleteFileA(log.c_str());
  SetLogEnabled(false);
  WriteLog("dropped");
  EXPECT_FALSE(FileExists(log));
  SetLogEnabled(true);
  SetLogPrefix(" X ");
  WriteLog("kept");
  SetLogPrefix("   ");
  WriteLog("");
  SetLogEnabled(false);
  const std::string text = ReadAll(log);
  DeleteFileA(log.c_str());
  const std::string tid = std::to_string(GetCurrentThreadId());
  // dd/mm/yy HH:NN:SS, the thread id right-aligned in five, the prefix, the text.
  ASSERT_EQ(text.size(), 2 * 17 + 2 * 1 + 2 * std::max<size_t>(5, tid.size()) + 3 + 4 + 3 + 2 * 2);
  EXPECT_EQ(text.substr(17, 1 + std::max<size_t>(5, tid.size()) + 3 + 4 + 2),
            " " + std::string(tid.size() < 5 ? 5 - tid.size() : 0, ' ') + tid + " X kept\r\n");
}

namespace {

// A viewer window on a thread of its own that stops serving its messages once it is there,
// until released (or for at most eight seconds).
struct HungViewer {
  HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE thread = nullptr;

  static DWORD WINAPI Run(void* self) {
    HungViewer& v = *static_cast<HungViewer*>(self);
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = ".VDebug.";
    RegisterClassA(&wc);
    HWND window = CreateWindowExA(0, ".VDebug.", "hung", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                                  wc.hInstance, nullptr);
    SetEvent(v.ready);
    WaitForSingleObject(v.release, 8000);
    DestroyWindow(window);
    UnregisterClassA(".VDebug.", wc.hInstance);
    return 0;
  }
  HungViewer() {
    thread = CreateThread(nullptr, 0, Run, this, 0, nullptr);
    WaitForSingleObject(ready, 10000);
  }
  ~HungViewer() {
    SetEvent(release);
    WaitForSingleObject(thread, 10000);
    CloseHandle(thread);
    CloseHandle(ready);
    CloseHandle(release);
  }
};

}  // namespace

TEST(DebugChannel, AHungViewerDoesNotHoldTheProgram) {
  SetDebugModeForTesting(0);
  DWORD elapsed = 0;
  {
    HungViewer viewer;
    ASSERT_NE(FindWindowA(".VDebug.", nullptr), nullptr);
    const DWORD start = GetTickCount();
    // One short wait for the first line; the window gets nothing more after that.
    for (int i = 0; i < 10; ++i) DebugLine("a line for a viewer that does not answer");
    elapsed = GetTickCount() - start;
  }
  EXPECT_LT(elapsed, 5000u);
}
