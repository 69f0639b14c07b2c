// wintest: what the end-to-end tests need from the Windows side that a shell cannot do.
//
//   wintest hold-window CLASS SECONDS     a top-level window of CLASS for that long; prints
//                                         "ready" once it exists, then one line
//                                         "msg NUMBER WPARAM LPARAM" for every message from
//                                         WM_USER on that is posted to it
//   wintest find-window CLASS             exit 0 when a top-level window of CLASS exists
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

static int HoldWindow(const char* className, unsigned seconds) {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = className;
  if (!RegisterClassA(&wc)) return 3;
  HWND window = CreateWindowExA(0, className, "wintest", WS_OVERLAPPED, 0, 0, 100, 50, nullptr, nullptr,
                                wc.hInstance, nullptr);
  if (!window) return 4;
  std::printf("ready\n");
  std::fflush(stdout);
  SetTimer(window, 1, seconds * 1000u, nullptr);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    if (msg.message == WM_TIMER) break;
    if (msg.message >= WM_USER) {
      std::printf("msg %u %lld %lld\n", msg.message, static_cast<long long>(msg.wParam),
                  static_cast<long long>(msg.lParam));
      std::fflush(stdout);
    }
    DispatchMessageA(&msg);
  }
  DestroyWindow(window);
  return 0;
}

int main(int argc, char** argv) {
  if (argc == 4 && !std::strcmp(argv[1], "hold-window"))
    return HoldWindow(argv[2], static_cast<unsigned>(std::atoi(argv[3])));
  if (argc == 3 && !std::strcmp(argv[1], "find-window")) return FindWindowA(argv[2], nullptr) ? 0 : 1;
  std::fprintf(stderr, "usage: wintest hold-window CLASS SECONDS | find-window CLASS\n");
  return 2;
}
