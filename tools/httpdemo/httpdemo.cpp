// Runs InetHTTP's calls from the command line and prints what they return, one "key=value"
// line each, so the end-to-end tests can check them:
//
//   httpdemo size URL
//       size=N                        (HTTP_GetFileSize)
//   httpdemo get URL DEST [--memory] [--abort-after BYTES]
//       result=1|0  error=TEXT  bytes=N  barmax=N  steps=N
//       Downloads into DEST, or with --memory into memory and then writes the data to DEST.
//       --abort-after posts a close request to a window of ours once BYTES have arrived; the
//       window answers it with the stub window's own close handling, which stops the download.
//   httpdemo check FILE URL
//       page=TEXT                     (CheckErrorPage with the default "none" and the IIS hint)
//
// Exit code 0 when the call succeeded, 1 when it failed, 2 for a bad command line.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "inet/InetHTTP.h"
#include "stub/StubWin.h"
#include "support/Files.h"
#include "support/Utils.h"

using namespace stub;

namespace {

// The window a close request goes to, the bytes after which it is sent, and the bar's record.
HWND g_closeTarget = nullptr;
int64_t g_abortAfter = -1;
uint32_t g_chunk = 0;
int64_t g_barMaximum = 0;
int64_t g_steps = 0;

// Answers a close request the way the stub window does: the first one stops the download.
LRESULT CALLBACK CloseTargetProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CLOSE && !CloseMainWindow()) return 0;
  return DefWindowProcA(window, message, wParam, lParam);
}

void RecordBar(int kind, int64_t maximum, const std::string&, int, int) {
  if (kind == 0 && maximum > 0) g_barMaximum = maximum;
  if (kind != 1) return;
  ++g_steps;
  // Every step but the last brings one whole chunk.
  if (g_abortAfter >= 0 && g_closeTarget && g_steps * int64_t(g_chunk) >= g_abortAfter) {
    PostMessageA(g_closeTarget, WM_CLOSE, 0, 0);
    g_closeTarget = nullptr;  // one request is enough
  }
}

void Pump(unsigned milliseconds) { WaitPumping(0, milliseconds); }

int Usage() {
  std::fprintf(stderr,
               "usage: httpdemo size URL\n"
               "       httpdemo get URL DEST [--memory] [--abort-after BYTES]\n"
               "       httpdemo check FILE URL\n");
  return 2;
}

int Get(int argc, char** argv) {
  if (argc < 4) return Usage();
  const std::string url = argv[2], dest = argv[3];
  bool memory = false;
  for (int i = 4; i < argc; ++i) {
    if (std::strcmp(argv[i], "--memory") == 0) {
      memory = true;
    } else if (std::strcmp(argv[i], "--abort-after") == 0 && i + 1 < argc) {
      g_abortAfter = ToInt64(argv[++i], -1);
      if (g_abortAfter < 0) return Usage();
    } else {
      return Usage();
    }
  }
  if (g_abortAfter >= 0) {
    // The reads are as large as the download plans them for the server's length.
    g_chunk = PlanDownload(HTTP_GetFileSize(url)).chunk;
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = CloseTargetProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "HttpDemoCloseTarget";
    RegisterClassA(&windowClass);
    g_closeTarget = CreateWindowExA(0, windowClass.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    windowClass.hInstance, nullptr);
  }
  SetProgBarWait(Pump);
  std::string error, data;
  bool ok;
  {
    TProgBar bar(RecordBar);
    ok = HTTP_DownloadFile_Incremental(nullptr, url, memory ? std::string() : dest, error, &bar, data);
  }
  int64_t bytes = memory ? static_cast<int64_t>(data.size()) : (FileExists(dest) ? FileSizeByName(dest) : -1);
  if (memory && !SaveToFile(dest, data, 0, false)) {
    std::fprintf(stderr, "cannot write %s\n", dest.c_str());
    return 2;
  }
  std::printf("result=%d\nerror=%s\nbytes=%s\nbarmax=%s\nsteps=%s\n", ok ? 1 : 0, error.c_str(),
              IntText(bytes).c_str(), IntText(g_barMaximum).c_str(), IntText(g_steps).c_str());
  return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string command = argv[1];
  int code;
  if (command == "size" && argc == 3) {
    int32_t size = HTTP_GetFileSize(argv[2]);
    std::printf("size=%s\n", IntText(size).c_str());
    code = size >= 0 ? 0 : 1;
  } else if (command == "get") {
    code = Get(argc, argv);
  } else if (command == "check" && argc == 4) {
    std::string page = CheckErrorPage(argv[2], "", argv[3], true, "none");
    std::printf("page=%s\n", page.c_str());
    code = page == "none" ? 1 : 0;
  } else {
    code = Usage();
  }
  std::fflush(stdout);
  UnloadInternetLibrary();
  return code;
}
