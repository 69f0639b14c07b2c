#include <windows.h>
#include <commctrl.h>

#include "stub/StubWin.h"

#include "autoupdate/AgentControl.h"
#include "autoupdate/StubAU.h"
#include "autoupdate/StubGlob.h"
#include "inet/InetHTTP.h"
#include "inet/VProgBarWin.h"
#include "package/GFileInfo.h"
#include "package/StubSetup.h"
#include "package/UnPack.h"
#include "stub/Stub.h"
#include "support/Files.h"
#include "support/SystemLibs.h"
#include "support/Utils.h"
#include "support/VDebug.h"
#include "ui/VMsgBox.h"

namespace stub {

// The window and its controls, the status font, the flag that ends the loop.
static HWND g_mainWindow = nullptr;
static HWND g_statusText = nullptr;
static HWND g_fileBar = nullptr;
static HWND g_activityBar = nullptr;
static HFONT g_statusFont = nullptr;
static bool g_loopEnded = false;

static const DWORD kMainStyle = WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;  // 0x02C80000
static const int kWidth = 492, kHeight = 110;

static void ApplyStatusText(HWND control, const std::string& text, const std::string& fontName, int charset,
                            int fontSize);

// The window as a setup run sees it, with the product's shortcuts noted before the engine.
class StubWindowHost : public SetupHost {
 public:
  HWND MainWindow() override { return g_mainWindow; }
  HWND StatusTextControl() override { return g_statusText; }
  HWND ActivityBar() override { return g_activityBar; }
  void SetStatusText(HWND control, const std::string& text, const std::string& fontName, int charset,
                     int fontSize) override {
    ApplyStatusText(control, text, fontName, charset, fontSize);
  }
  void EngineStarting() override { shortcuts_ = NoteProductShortcuts(); }
  void SetupSucceeded() override { RemoveProductShortcuts(shortcuts_); }

 private:
  ProductShortcuts shortcuts_;
};
static StubWindowHost g_host;

static bool IsRightToLeft(int charset) { return charset == 177 || charset == 178; }

static void OnCreate(HWND window) {
  const int charset = PackageInfo().GetCharset();
  const bool rtl = IsRightToLeft(charset);
  HINSTANCE instance = GetModuleHandleA(nullptr);
  g_statusText = CreateWindowExA(0, "Static", "", WS_CHILD | WS_VISIBLE, rtl ? 122 : 70, 20, 340, 18, window,
                                 nullptr, instance, nullptr);
  g_fileBar = CreateWindowExA(0, PROGRESS_CLASSA, "", WS_CHILD | WS_VISIBLE, 70, 38, 392, 13, window, nullptr,
                              instance, nullptr);
  g_activityBar = CreateWindowExA(0, PROGRESS_CLASSA, "", WS_CHILD, rtl ? 70 : 416, 20, 46, 13, window, nullptr,
                                  instance, nullptr);
  SetStubProgressBars(g_fileBar, g_activityBar);
  SetTimer(window, 1, 1000, nullptr);
  g_statusFont = CreateFontA(-11, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Tahoma");
  SendMessageA(g_statusText, WM_SETFONT, reinterpret_cast<WPARAM>(g_statusFont), FALSE);
}

static void OnPaint(HWND window) {
  HDC dc = GetDC(window);
  RECT client;
  GetClientRect(window, &client);
  HBRUSH face = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
  FillRect(dc, &client, face);
  DeleteObject(face);
  HICON icon = LoadIconA(GetModuleHandleA(nullptr), "MainIcon");
  if (icon) DrawIcon(dc, 18, 20, icon);
  ReleaseDC(window, dc);
}

static void OnTimer(HWND window) {
  if (ThisIs_AutoUpdateProg()) AgentTick();
  else StartSetup(window);
}

static LRESULT CALLBACK StubWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  const UINT autoPlay = AutoPlayMessageId();
  if (autoPlay != 0 && message == autoPlay) return 1;  // no AutoPlay while a disk is awaited
  switch (message) {
    case WM_CREATE:
      OnCreate(window);
      break;
    case WM_DESTROY:
      DebugLine("- wm_Destroy -");
      DestroyMainWindow();
      break;
    case WM_PAINT:
      OnPaint(window);
      break;
    case WM_CLOSE:
      if (!CloseMainWindow()) return 0;
      break;
    case WM_QUIT:
      DebugLine("- wm_Quit -");
      DestroyMainWindow();
      break;
    case WM_TIMER:
      OnTimer(window);
      break;
    default: {
      intptr_t answer = 0;
      if (HandleAgentMessage(reinterpret_cast<uintptr_t>(window), message, wParam, lParam, answer)) return answer;
      break;
    }
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

void WinMain() {
  const int64_t sleep = GetParamInt("/SleepX=", -1);
  if (sleep >= 0) AgentState().AutoUpdateTimerCount = static_cast<int32_t>(-sleep);
  LoadCommonControls();
  AttachSetupHost(&g_host);

  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA wc = {};
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = StubWindowProc;
  wc.hInstance = instance;
  wc.hIcon = LoadIconA(instance, "MainIcon");
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.lpszClassName = StubClassName().c_str();
  RegisterClassA(&wc);

  const POINT at = CentreOnWorkArea(kWidth, kHeight);
  const std::string caption = PackageInfo().GetLangString("s0", "Talvex Installation Suite");
  g_mainWindow = CreateWindowExA(0, StubClassName().c_str(), caption.c_str(), kMainStyle, at.x, at.y, kWidth,
                                 kHeight, nullptr, nullptr, instance, nullptr);
  SetMsgBoxFont(PackageInfo().GetFontName(), PackageInfo().GetFontSize(), PackageInfo().GetCharset());

  if (g_mainWindow) {
    ShowWindow(g_mainWindow, SW_HIDE);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
      if (g_loopEnded) break;
    }
  }
  KillTimer(g_mainWindow, 1);
  SetDownloadAbort(true);
  UnloadInternetLibrary();
  Notify(kNotifyLoopEnded, 0);
}

// The status line in the package's font; right-aligned, right-to-left for sets 177 and 178.
static void ApplyStatusText(HWND control, const std::string& text, const std::string& fontName, int charset,
                            int fontSize) {
  if (!control) return;
  if (IsRightToLeft(charset)) {
    SetWindowLongPtrA(control, GWL_EXSTYLE, WS_EX_RTLREADING);
    SetWindowLongPtrA(control, GWL_STYLE, WS_CHILD | WS_VISIBLE | SS_RIGHT);
  } else {
    SetWindowLongPtrA(control, GWL_EXSTYLE, 0);
    SetWindowLongPtrA(control, GWL_STYLE, WS_CHILD | WS_VISIBLE);
  }
  HFONT font = CreateFontA(-PointsToPixels(fontSize), 0, 0, 0, 0, 0, 0, 0, static_cast<DWORD>(charset), 0, 0, 0, 0,
                           fontName.c_str());
  SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  if (control == g_statusText) {
    if (g_statusFont) DeleteObject(g_statusFont);
    g_statusFont = font;
  }
  SendMessageA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void DestroyMainWindow() {
  WriteLog(".. DestroyMainWindow() - Start");
  SetDownloadAbort(true);
  CancelSetupRun();
  const std::string folder = SetupTempFolderIfMade();
  if (!folder.empty()) DeleteTree(folder, false);
  PostQuitMessage(0);
  g_loopEnded = true;
  WriteLog(".. DestroyMainWindow() - End");
}

bool CloseMainWindow() {
  WriteLog(".. CloseMainWindow() - Start");
  const bool result = DownloadAbortRequested();
  if (!result) SetDownloadAbort(true);
  WriteLog(".. CloseMainWindow() - End");
  return result;
}

}  // namespace stub
