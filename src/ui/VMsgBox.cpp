#include <windows.h>
#include <richedit.h>

#include "ui/VMsgBox.h"

#include <vector>

#include "support/Text.h"
#include "support/Utils.h"
#include "support/VDebug.h"
#include "support/VSUB.h"
#include "ui/MsgBoxMarkup.h"

namespace stub {

// Settings of every later box (SetMsgBoxFont).
static std::string g_fontFace = "Tahoma";
static int g_fontSize = 8;
static int g_fontCharset = 1;
// The rich-edit library, loaded once and kept to the end of the run.
static HMODULE g_richEditKept = nullptr;

namespace {

const char* const BoxClassName = "VMsgBox";
const char* const RichEditLibrary = "RICHED32.DLL";
const int TextControlId = 13;
const UINT_PTR TimeoutTimerId = 1;

// One box on screen. It lives on the stack of MsgBoxEx; the window finds it through its
// user data, so a box shown from inside another box's loop has state of its own.
struct Box {
  HWND window = nullptr;
  HWND text = nullptr;
  HWND previousActive = nullptr;
  HFONT font = nullptr;
  HICON icon = nullptr;
  uint32_t flags = 0;
  int result = 0;
  bool chosen = false;      // a button or the time-out decided; the box is closing
  bool destroyed = false;
  std::vector<HWND> buttons;
  std::vector<std::string> buttonTexts;
  std::vector<int> buttonResults;
  int current = 0;          // the button with the default-button style
  RECT requested = {};      // the text control's last resize request
  UINT autoPlayMessage = 0;
};

bool Loaded(HMODULE module) { return reinterpret_cast<UINT_PTR>(module) > 32; }

int ButtonIndex(const Box& box, HWND window) {
  for (size_t i = 0; i < box.buttons.size(); ++i)
    if (box.buttons[i] == window) return static_cast<int>(i);
  return -1;
}

void Choose(Box& box, int index) {
  if (box.chosen || index < 0 || index >= static_cast<int>(box.buttons.size())) return;
  box.result = box.buttonResults[index];
  box.chosen = true;
  PostMessageA(box.window, WM_CLOSE, 0, 0);
}

// Moves the focus and the default-button border together, so that Enter visibly chooses
// the button that has the focus.
void FocusButton(Box& box, int index) {
  if (index < 0 || index >= static_cast<int>(box.buttons.size())) return;
  if (index != box.current) {
    SendMessageA(box.buttons[box.current], BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
    SendMessageA(box.buttons[index], BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
    box.current = index;
  }
  SetFocus(box.buttons[index]);
}

void CloseBox(Box& box) {
  // The owner is enabled and activated before the box goes, or the system would activate
  // some other program's window.
  if (box.previousActive && IsWindow(box.previousActive)) {
    EnableWindow(box.previousActive, TRUE);
    SetActiveWindow(box.previousActive);
    SetFocus(box.previousActive);
  }
  KillTimer(box.window, TimeoutTimerId);
  DestroyWindow(box.window);
}

void FillBand(HDC dc, int left, int top, int right, int bottom, HBRUSH brush) {
  RECT r = {left, top, right, bottom};
  FillRect(dc, &r, brush);
}

void Paint(Box& box) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(box.window, &ps);
  RECT client;
  GetClientRect(box.window, &client);
  int w = client.right, h = client.bottom;
  FillRect(dc, &client, GetSysColorBrush(COLOR_WINDOW));
  FillBand(dc, 0, h - 37, w, h - 36, GetSysColorBrush(COLOR_3DDKSHADOW));
  FillBand(dc, 0, h - 36, w, h - 35, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  FillBand(dc, 0, h - 35, w, h, GetSysColorBrush(COLOR_BTNFACE));
  HBRUSH strip = CreateSolidBrush(RGB(0, 78, 152));
  FillBand(dc, 0, 0, MsgBoxStripWidth, h - 37, strip);
  DeleteObject(strip);
  if (box.icon) DrawIcon(dc, 11, 20, box.icon);
  EndPaint(box.window, &ps);
}

LRESULT CALLBACK BoxProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    Box* created = static_cast<Box*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
    created->window = window;
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(created));
  }
  Box* box = reinterpret_cast<Box*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (!box) return DefWindowProcA(window, message, wParam, lParam);
  // AutoPlay would start a disk's own program over the box.
  if (box->autoPlayMessage && message == box->autoPlayMessage) return 1;
  switch (message) {
    case WM_PAINT:
      Paint(*box);
      return 0;
    case WM_ACTIVATE:
      if (LOWORD(wParam) != WA_INACTIVE && !box->buttons.empty()) {
        SetFocus(box->buttons[box->current]);
        return 0;
      }
      break;
    case WM_COMMAND:
      if (HIWORD(wParam) == BN_CLICKED) Choose(*box, ButtonIndex(*box, reinterpret_cast<HWND>(lParam)));
      return 0;
    case WM_NOTIFY: {
      const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
      if (header->code == EN_REQUESTRESIZE) box->requested = reinterpret_cast<const REQRESIZE*>(lParam)->rc;
      return 0;
    }
    case WM_TIMER:
      if (wParam == TimeoutTimerId) {
        KillTimer(window, TimeoutTimerId);
        Choose(*box, 0);
      }
      return 0;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == SC_CLOSE && (box->flags & MsgBoxNoClose) && !box->chosen) return 0;
      break;
    case WM_CLOSE:
      // Without the Close command only a button or the time-out ends the box.
      if ((box->flags & MsgBoxNoClose) && !box->chosen) return 0;
      CloseBox(*box);
      return 0;
    case WM_NCDESTROY:
      box->destroyed = true;
      SetWindowLongPtrA(window, GWLP_USERDATA, 0);
      break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

// The box's keys, looked at before dispatch for every window of the thread. True when the
// message chose a button and is consumed.
bool HandleKeys(Box& box, const MSG& msg) {
  if (box.chosen || box.buttons.empty()) return false;
  int count = static_cast<int>(box.buttons.size());
  if (msg.message == WM_CHAR) {
    int index = ButtonForCharacter(box.buttonTexts, static_cast<char>(msg.wParam));
    if (index < 0) return false;
    Choose(box, index);
    return true;
  }
  if (msg.message != WM_KEYDOWN) return false;
  int focused = ButtonIndex(box, GetFocus());
  switch (msg.wParam) {
    case VK_LEFT:
    case VK_UP:
      FocusButton(box, StepButton(focused, count, false));
      return false;
    case VK_TAB:
    case VK_RIGHT:
    case VK_DOWN:
      FocusButton(box, StepButton(focused, count, true));
      return false;
    case VK_RETURN:
      Choose(box, focused >= 0 ? focused : box.current);
      return true;
  }
  if (msg.wParam >= 'A' && msg.wParam <= 'Z') {
    int index = ButtonForCharacter(box.buttonTexts, static_cast<char>(msg.wParam));
    if (index >= 0) {
      Choose(box, index);
      return true;
    }
  }
  return false;
}

HWND CreateTextControl(Box& box) {
  DWORD style = WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_READONLY;
  if (box.flags & MsgBoxRightAligned) style |= ES_RIGHT;
  DWORD exStyle = (box.flags & MsgBoxRightToLeft) ? WS_EX_RTLREADING : 0;
  HWND text = CreateWindowExA(exStyle, "RICHEDIT", "", style, 0, 0, 100, 20, box.window,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(TextControlId)),
                              GetModuleHandleA(nullptr), nullptr);
  if (!text) {
    DebugLine("VMsgBox: no rich-text control  " + SysErrorText());
    return nullptr;
  }
  SendMessageA(text, EM_SETEVENTMASK, 0, ENM_REQUESTRESIZE);
  // Without its font the control reports every character as bold.
  SendMessageA(text, WM_SETFONT, reinterpret_cast<WPARAM>(box.font), TRUE);
  SendMessageA(text, EM_SETBKGNDCOLOR, 0, static_cast<LPARAM>(GetSysColor(COLOR_WINDOW)));
  return text;
}

void SelectRange(HWND text, LONG start, LONG end) {
  CHARRANGE range = {start, end};
  SendMessageA(text, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
}

void FillText(Box& box, const MarkedUpText& marked) {
  SendMessageA(box.text, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(marked.text.c_str()));
  for (const BoldRun& run : marked.bold) {
    SelectRange(box.text, static_cast<LONG>(run.start), static_cast<LONG>(run.end));
    CHARFORMATA format = {};
    format.cbSize = sizeof format;
    format.dwMask = CFM_BOLD | CFM_ITALIC | CFM_UNDERLINE | CFM_STRIKEOUT;
    format.dwEffects = CFE_BOLD;
    SendMessageA(box.text, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
  }
  SelectRange(box.text, 0, 0);
}

TextSize Measure(const Box& box, const std::string& text) {
  HWND measured = box.text ? box.text : box.window;
  HDC dc = GetDC(measured);
  HGDIOBJ old = SelectObject(dc, box.font);
  TEXTMETRICA metrics = {};
  GetTextMetricsA(dc, &metrics);
  int lineHeight = metrics.tmHeight + metrics.tmExternalLeading;
  if (SameTextTrim(g_fontFace, "MS PGothic")) lineHeight += 1;
  TextSize size = MeasureMsgBoxText(text, lineHeight, [dc](const std::string& line) {
    SIZE extent = {};
    GetTextExtentPoint32A(dc, line.c_str(), static_cast<int>(line.size()), &extent);
    return static_cast<int>(extent.cx);
  });
  SelectObject(dc, old);
  ReleaseDC(measured, dc);
  return size;
}

void SizeControl(HWND control, int width, int height) {
  SetWindowPos(control, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Fills and sizes the text control; returns the size the box is laid out around.
TextSize LayOutText(Box& box, const std::string& message) {
  MarkedUpText marked = ApplyMsgBoxMarkup(message);
  if (box.text) FillText(box, marked);
  TextSize size = Measure(box, marked.text);
  size.width += 10;
  if (!box.text) return size;
  SizeControl(box.text, size.width, size.height);
  if (!marked.bold.empty()) {
    int height = size.height;
    size.width = WidenForBold(size.width, height, [&box, height](int width) {
      SizeControl(box.text, width, height);
      box.requested = RECT{};
      SendMessageA(box.text, EM_REQUESTRESIZE, 0, 0);
      return TextSize{box.requested.right - box.requested.left, box.requested.bottom - box.requested.top};
    });
    SizeControl(box.text, size.width, size.height);
  }
  return size;
}

void PlaceBox(Box& box, const TextSize& text, const std::string& message) {
  FrameMetrics frame = {GetSystemMetrics(SM_CXDLGFRAME), GetSystemMetrics(SM_CYDLGFRAME),
                        GetSystemMetrics(SM_CYCAPTION)};
  TextSize size = MsgBoxWindowSize(text, frame);
  POINT at = CentreOnWorkArea(size.width, size.height);
  if (DeveloperMode() && message.find("Do you want to store the new Entry in") != std::string::npos) {
    at.x += 150;
    at.y += 150;
  }
  SetWindowPos(box.window, nullptr, at.x, at.y, size.width, size.height, SWP_NOZORDER | SWP_NOACTIVATE);
  ShowWindow(box.window, SW_SHOW);
  if (box.text) {
    RECT client;
    GetClientRect(box.window, &client);
    LayoutRect r = TextControlRect(client.right, client.bottom, text);
    MoveWindow(box.text, r.x, r.y, r.width, r.height, TRUE);
  }
}

HICON ChooseIcon(uint32_t flags) {
  int id = MsgBoxIconId(flags);
  if (id == 0) return LoadIconA(GetModuleHandleA(nullptr), "MainIcon");
  if (id > 0) return LoadIconA(nullptr, MAKEINTRESOURCEA(id));
  return nullptr;
}

void CreateButtons(Box& box, const std::string& buttonList) {
  RECT client;
  GetClientRect(box.window, &client);
  std::vector<MsgBoxButton> set = MsgBoxButtons(box.flags);
  box.current = static_cast<int>(DefaultButtonIndex(box.flags, set.size()));
  for (size_t i = 0; i < set.size(); ++i) {
    std::string text = SubGet(buttonList, set[i].field, "");
    LayoutRect r = ButtonRect(client.right, client.bottom, i, set.size());
    DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP |
                  (static_cast<int>(i) == box.current ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
    HWND button = CreateWindowExA(0, "Button", text.c_str(), style, r.x, r.y, r.width, r.height, box.window,
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(set[i].result)),
                                  GetModuleHandleA(nullptr), nullptr);
    if (!button) continue;
    SendMessageA(button, WM_SETFONT, reinterpret_cast<WPARAM>(box.font), TRUE);
    box.buttons.push_back(button);
    box.buttonTexts.push_back(text);
    box.buttonResults.push_back(set[i].result);
  }
  if (box.current >= static_cast<int>(box.buttons.size())) box.current = 0;
  if (!box.buttons.empty()) SetFocus(box.buttons[box.current]);
}

void KeepRichEdit() {
  if (!Loaded(g_richEditKept)) g_richEditKept = LoadFromSystemFolder(RichEditLibrary);
}

// Runs the box's own loop until its window is gone. A quit request ends the box (result 0)
// and is put back for the program's main loop.
void RunLoop(Box& box) {
  MSG msg;
  while (!box.destroyed) {
    BOOL got = GetMessageA(&msg, nullptr, 0, 0);
    if (got == 0) {
      int exitCode = static_cast<int>(msg.wParam);
      box.result = 0;
      box.chosen = true;
      CloseBox(box);
      PostQuitMessage(exitCode);
      return;
    }
    if (got < 0) break;
    if (HandleKeys(box, msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  if (!box.destroyed) {
    box.chosen = true;
    CloseBox(box);
  }
}

}  // namespace

int MsgBoxEx(HWND owner, const std::string& text, const std::string& caption, unsigned timeout, DWORD flags,
             const std::string& buttons) {
  KeepRichEdit();
  Box box;
  box.flags = flags;
  box.previousActive = GetActiveWindow();
  if (box.previousActive) EnableWindow(box.previousActive, FALSE);

  box.font = CreateFontA(-PointsToPixels(g_fontSize), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                         static_cast<BYTE>(g_fontCharset), 0, 0, 0, 32, g_fontFace.c_str());
  HMODULE richEdit = LoadFromSystemFolder(RichEditLibrary);
  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA wc = {};
  wc.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
  wc.lpfnWndProc = BoxProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
  wc.lpszClassName = BoxClassName;
  RegisterClassA(&wc);  // fails harmlessly when an outer box has it registered

  // A handle that is no longer a window must not swallow the message.
  if (owner && !IsWindow(owner)) owner = nullptr;
  CreateWindowExA(WS_EX_DLGMODALFRAME | WS_EX_TOPMOST, BoxClassName, caption.c_str(),
                  WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, -2000, -2000, 200, 100, owner, nullptr, instance, &box);
  if (!box.window) {
    DebugLine("VMsgBox: box not created  " + SysErrorText());
    if (box.previousActive) EnableWindow(box.previousActive, TRUE);
  } else {
    box.autoPlayMessage = RegisterWindowMessageA("QueryCancelAutoPlay");
    if (flags & MsgBoxNoClose) EnableMenuItem(GetSystemMenu(box.window, FALSE), SC_CLOSE, MF_BYCOMMAND | MF_GRAYED);
    box.text = Loaded(richEdit) ? CreateTextControl(box) : nullptr;
    TextSize textSize = LayOutText(box, text);
    PlaceBox(box, textSize, text);
    box.icon = ChooseIcon(flags);
    CreateButtons(box, buttons.empty() ? std::string(MsgBoxButtonTexts) : buttons);
    if (timeout > 0) SetTimer(box.window, TimeoutTimerId, timeout, nullptr);
    RunLoop(box);
  }
  DeleteObject(box.font);
  UnregisterClassA(BoxClassName, instance);  // fails harmlessly while an outer box shows
  if (Loaded(richEdit)) FreeLibrary(richEdit);
  return box.result;
}

int ShowMessageBox(OwnerMode ownerMode, const std::string& text, const std::string& caption, unsigned timeout,
                   DWORD flags, int charset, const std::string& buttons) {
  HWND owner = (ownerMode >= 0 && ownerMode <= 2) ? GetActiveWindow() : reinterpret_cast<HWND>(ownerMode);
  std::string shown = ownerMode == 0 ? MsgBoxHeading(caption, text) : text;
  int result = MsgBoxEx(owner, shown, caption, timeout, MsgBoxFlagsFor(ownerMode, flags, charset), buttons);
  // Lets the windows the box covered repaint before the caller goes on.
  WaitPumping(0, 100);
  return result;
}

static std::string CaptionOr(const std::string& caption, int field) {
  return caption.empty() ? SubGet(MsgBoxCaptions, field, "") : caption;
}

void MsgError(OwnerMode ownerMode, const std::string& text, const std::string& caption, int charset,
              const std::string& buttons) {
  ShowMessageBox(ownerMode, text, CaptionOr(caption, 0), 0, 16, charset, buttons);
}

void MsgAttention(OwnerMode ownerMode, const std::string& text, const std::string& caption, unsigned timeout,
                  int charset, const std::string& buttons) {
  ShowMessageBox(ownerMode, text, CaptionOr(caption, 1), timeout, 48, charset, buttons);
}

bool MsgConfirm(OwnerMode ownerMode, const std::string& text, const std::string& caption, unsigned timeout,
                int charset, const std::string& buttons) {
  return ShowMessageBox(ownerMode, text, CaptionOr(caption, 2), timeout, 36, charset, buttons) == 6;
}

bool MsgOkCancel(OwnerMode ownerMode, const std::string& text, const std::string& caption, int charset,
                 const std::string& buttons) {
  return ShowMessageBox(ownerMode, text, CaptionOr(caption, 2), 0, 33, charset, buttons) == 1;
}

void SetMsgBoxFont(const std::string& face, int size, int charset) {
  // An empty face would leave the font to the system's guess; keep the last one instead.
  if (!Trim(face).empty()) g_fontFace = face;
  if (size != 0) g_fontSize = size;
  g_fontCharset = charset;
}

void InitMsgBox() {
  UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  LoadFromSystemFolder("shell32.dll");
  LoadFromSystemFolder("USP10.dll");
  LoadFromSystemFolder("MSLS31.dll");
  KeepRichEdit();
  SetErrorMode(oldMode);
}

void DoneMsgBox() {
  if (Loaded(g_richEditKept)) FreeLibrary(g_richEditKept);
  g_richEditKept = nullptr;
}

}  // namespace stub
