#include <windows.h>
#include <richedit.h>

#include "autoupdate/StubInformDlg.h"

#include "autoupdate/StubInformDlgCore.h"
#include "support/Text.h"
#include "support/Utils.h"
#include "support/VDebug.h"

namespace stub {

namespace {

const char* const DialogClassName = "VRichEditBox";
const int TextControlId = 10;
const int ButtonId = 1;

// One dialog on screen. It lives on the stack of ShowInformDialog; the window finds it
// through its user data.
struct Dialog {
  HWND window = nullptr;
  HWND text = nullptr;
  HWND button = nullptr;
  std::string link;  // empty: no button
  bool closed = false;
};

InformLayout LayoutOf(const Dialog& dialog) {
  RECT client;
  GetClientRect(dialog.window, &client);
  return LayOutInformDialog(client.right, client.bottom, !dialog.link.empty());
}

void MoveTo(HWND control, const LayoutRect& r) {
  if (control) MoveWindow(control, r.x, r.y, r.width, r.height, TRUE);
}

void Place(const Dialog& dialog) {
  InformLayout layout = LayoutOf(dialog);
  MoveTo(dialog.text, layout.text);
  if (layout.withButton) MoveTo(dialog.button, layout.button);
}

void FillBand(HDC dc, int top, int bottom, int width, int colour) {
  RECT r = {0, top, width, bottom};
  FillRect(dc, &r, GetSysColorBrush(colour));
}

void Paint(const Dialog& dialog) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(dialog.window, &ps);
  RECT client;
  GetClientRect(dialog.window, &client);
  FillRect(dc, &client, GetSysColorBrush(COLOR_WINDOW));
  InformLayout layout = LayoutOf(dialog);
  if (layout.withButton) {
    FillBand(dc, layout.lineY, layout.lineY + 1, client.right, COLOR_3DDKSHADOW);
    FillBand(dc, layout.bandTop, client.bottom, client.right, COLOR_BTNFACE);
  }
  EndPaint(dialog.window, &ps);
}

// The button: the page is opened and the dialog goes.
void Choose(const Dialog& dialog) {
  OpenWebLink(dialog.link);
  PostMessageA(dialog.window, WM_CLOSE, 0, 0);
}

LRESULT CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    Dialog* created = static_cast<Dialog*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
    created->window = window;
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(created));
  }
  Dialog* dialog = reinterpret_cast<Dialog*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (!dialog) return DefWindowProcA(window, message, wParam, lParam);
  switch (message) {
    case WM_PAINT:
      Paint(*dialog);
      return 0;
    case WM_SIZE:
      Place(*dialog);
      return 0;
    case WM_ACTIVATE:
      // Coming back to the dialog puts the focus on its button again.
      if (LOWORD(wParam) != WA_INACTIVE && dialog->button) {
        SetFocus(dialog->button);
        return 0;
      }
      break;
    case WM_COMMAND:
      if (dialog->button && reinterpret_cast<HWND>(lParam) == dialog->button && HIWORD(wParam) == BN_CLICKED)
        Choose(*dialog);
      return 0;
    case WM_DESTROY:
      dialog->closed = true;
      break;
    case WM_NCDESTROY:
      SetWindowLongPtrA(window, GWLP_USERDATA, 0);
      break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

// Return presses the button, Escape closes, as in any dialog. True when the key was used.
bool HandleKey(const Dialog& dialog, const MSG& msg) {
  if (msg.message != WM_KEYDOWN || (msg.hwnd != dialog.window && !IsChild(dialog.window, msg.hwnd))) return false;
  if (msg.wParam == VK_RETURN && dialog.button) {
    Choose(dialog);
    return true;
  }
  if (msg.wParam == VK_ESCAPE) {
    PostMessageA(dialog.window, WM_CLOSE, 0, 0);
    return true;
  }
  return false;
}

// The dialog's own loop, until its window is gone. A quit request closes the dialog and is
// put back for the program's main loop.
void RunLoop(Dialog& dialog) {
  MSG msg;
  while (!dialog.closed) {
    BOOL got = GetMessageA(&msg, nullptr, 0, 0);
    if (got == 0) {
      DestroyWindow(dialog.window);
      PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    if (got < 0) break;
    if (HandleKey(dialog, msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  if (!dialog.closed) DestroyWindow(dialog.window);
}

HWND CreateText(const Dialog& dialog, const std::string& text, bool rightToLeft, HFONT font) {
  HWND control = CreateWindowExA(InformTextExStyle(rightToLeft), "RICHEDIT", "", InformTextStyle(rightToLeft), 0, 0,
                                 10, 10, dialog.window,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(TextControlId)),
                                 GetModuleHandleA(nullptr), nullptr);
  if (!control) {
    DebugPidLine("ShowInformDialog: no rich-text control  " + SysErrorText());
    return nullptr;
  }
  SendMessageA(control, EM_SETEVENTMASK, 0, ENM_REQUESTRESIZE);
  // Without its font the control reports every character as bold.
  SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  SendMessageA(control, EM_SETBKGNDCOLOR, 0, static_cast<LPARAM>(GetSysColor(COLOR_WINDOW)));
  SendMessageA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
  return control;
}

HWND CreateButton(const Dialog& dialog, const std::string& text, HFONT font) {
  HWND button = CreateWindowExA(0, "Button", text.c_str(), WS_CHILD | WS_VISIBLE, 0, 0, InformButtonWidth,
                                InformButtonHeight, dialog.window,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(ButtonId)), GetModuleHandleA(nullptr),
                                nullptr);
  if (!button) return nullptr;
  SendMessageA(button, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  SetWindowLongPtrA(button, GWLP_USERDATA, 1);
  return button;
}

}  // namespace

bool OpenWebLink(const std::string& link) {
  if (!IsWebLink(link)) {
    DebugPidLine("OpenWebLink: not a web page, not opened: " + link);
    return false;
  }
  if (RunShell(link, "", SW_SHOW)) return true;
  DebugPidLine("OpenWebLink: the shell did not open " + link + "  " + SysErrorText());
  return false;
}

bool ShowInformDialog(HWND owner, const std::string& caption, const std::string& buttonText,
                      const std::string& informText, const std::string& linkUrl, int width, int height,
                      bool rightToLeft, const std::string& fontName, int fontSize, int charset) {
  Dialog dialog;
  dialog.link = Trim(linkUrl);
  if (!dialog.link.empty() && !IsWebLink(dialog.link)) {
    DebugPidLine("ShowInformDialog: not a web page, no button: " + dialog.link);
    dialog.link.clear();
  }
  if (informText.empty()) return !dialog.link.empty() && OpenWebLink(dialog.link);

  HMODULE richEdit = LoadFromSystemFolder("RICHED32.DLL");
  const BYTE set = static_cast<BYTE>(charset);
  HFONT buttonFont = CreateFontA(-PointsToPixels(fontSize), 0, 0, 0, 0, FALSE, FALSE, FALSE, set, 0, 0, 0, FF_SWISS,
                                 fontName.c_str());
  HFONT textFont = CreateFontA(InformTextHeight, 0, 0, 0, 0, FALSE, FALSE, FALSE, set, 0, 0, 0, FF_SWISS,
                               InformTextFace(fontName).c_str());
  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA wc = {};
  wc.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
  wc.lpfnWndProc = DialogProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
  wc.lpszClassName = DialogClassName;
  RegisterClassA(&wc);  // fails harmlessly while an outer dialog has it registered

  if (owner && !IsWindow(owner)) owner = nullptr;
  LayoutRect at = InformWindowRect(width, height, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
  // Made hidden and shown once its controls are in place, so that it never shows half made.
  CreateWindowExA(WS_EX_DLGMODALFRAME, DialogClassName, caption.c_str(), WS_CAPTION | WS_SYSMENU | WS_THICKFRAME,
                  at.x, at.y, at.width, at.height, owner, nullptr, instance, &dialog);
  if (!dialog.window) {
    DebugPidLine("ShowInformDialog: dialog not created  " + SysErrorText());
  } else {
    dialog.text = richEdit ? CreateText(dialog, informText, rightToLeft, textFont) : nullptr;
    if (!dialog.link.empty()) dialog.button = CreateButton(dialog, buttonText, buttonFont);
    Place(dialog);
    ShowWindow(dialog.window, SW_SHOW);
    SetActiveWindow(dialog.window);
    if (dialog.button) {
      SetFocus(dialog.button);
      SendMessageA(dialog.button, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
    }
    RunLoop(dialog);
  }
  UnregisterClassA(DialogClassName, instance);
  DeleteObject(textFont);
  DeleteObject(buttonFont);
  if (richEdit) FreeLibrary(richEdit);
  return dialog.window != nullptr;
}

}  // namespace stub
