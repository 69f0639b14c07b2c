// vdebug: shows what stub processes write to their debug channel.
//
//   vdebug [--out FILE] [--pieces FILE] [--quit-after SECONDS]
//
// It opens a hidden top-level window of class ".VDebug."; a stub that finds it sends the
// registered message ".V_DebugMsg." with the name of a global atom that holds one piece of
// text (at most 128 characters, a line end ends a piece). The viewer copies each piece to
// standard output, or appends it to FILE, and flushes at once so that a reader sees it.
// --pieces also appends the length of every piece received, one per line.
// Ends on Ctrl+C, WM_CLOSE, or after the given number of seconds.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

static UINT g_debugMessage = 0;
static FILE* g_out = nullptr;
static FILE* g_pieces = nullptr;

static LRESULT CALLBACK ViewerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == g_debugMessage && g_debugMessage != 0) {
    char text[256];
    UINT n = GlobalGetAtomNameA(static_cast<ATOM>(lParam), text, sizeof text);
    if (n > 0) {
      std::fwrite(text, 1, n, g_out);
      std::fflush(g_out);
      if (g_pieces) {
        std::fprintf(g_pieces, "%u\n", n);
        std::fflush(g_pieces);
      }
    }
    return 0;
  }
  if (message == WM_CLOSE) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

static BOOL WINAPI OnConsoleEvent(DWORD) {
  PostQuitMessage(0);
  return TRUE;
}

int main(int argc, char** argv) {
  const char* outPath = nullptr;
  unsigned quitAfterMs = 0;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--out") && i + 1 < argc) {
      outPath = argv[++i];
    } else if (!std::strcmp(argv[i], "--pieces") && i + 1 < argc) {
      g_pieces = std::fopen(argv[++i], "ab");
    } else if (!std::strcmp(argv[i], "--quit-after") && i + 1 < argc) {
      quitAfterMs = static_cast<unsigned>(std::atoi(argv[++i])) * 1000u;
    } else {
      std::fprintf(stderr, "usage: vdebug [--out FILE] [--pieces FILE] [--quit-after SECONDS]\n");
      return 2;
    }
  }
  g_out = outPath ? std::fopen(outPath, "ab") : stdout;
  if (!g_out) {
    std::fprintf(stderr, "vdebug: cannot open %s\n", outPath);
    return 1;
  }
  g_debugMessage = RegisterWindowMessageA(".V_DebugMsg.");

  WNDCLASSA wc = {};
  wc.lpfnWndProc = ViewerProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = ".VDebug.";
  if (!RegisterClassA(&wc)) {
    std::fprintf(stderr, "vdebug: cannot register the window class\n");
    return 1;
  }
  // A hidden top-level window: FindWindowA of the stub finds top-level windows only.
  HWND window = CreateWindowExA(0, ".VDebug.", "Stub debug viewer", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                                nullptr, nullptr, wc.hInstance, nullptr);
  if (!window) {
    std::fprintf(stderr, "vdebug: cannot create the window (is there a display?)\n");
    return 1;
  }
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
  if (quitAfterMs) SetTimer(window, 1, quitAfterMs, nullptr);
  std::fprintf(stderr, "vdebug: ready\n");
  std::fflush(stderr);

  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    if (msg.message == WM_TIMER && msg.hwnd == window) break;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  DestroyWindow(window);
  if (g_out != stdout) std::fclose(g_out);
  return 0;
}
