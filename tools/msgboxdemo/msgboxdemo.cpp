// msgboxdemo: shows one of the stub's message boxes with arguments from the command line and
// prints what it returned, so that the end-to-end tests can answer boxes and check results.
//
//   msgboxdemo [--font FACE SIZE CHARSET] [--owner] COMMAND ARGS...
//     show MODE TEXT CAPTION TIMEOUT FLAGS CHARSET [BUTTONS]    ShowMessageBox
//     ex TEXT CAPTION TIMEOUT FLAGS [BUTTONS]                   MsgBoxEx without an owner
//     error MODE TEXT [CAPTION [CHARSET [BUTTONS]]]             MsgError
//     attention MODE TEXT [CAPTION [TIMEOUT [CHARSET [BUTTONS]]]]
//     confirm MODE TEXT [CAPTION [TIMEOUT [CHARSET [BUTTONS]]]]
//     okcancel MODE TEXT [CAPTION [CHARSET [BUTTONS]]]
//
// MODE is an owner mode (0, 1, 2) or "owner", the handle of the window made by --owner, which
// is the active window while the box shows. A TEXT of "@PATH" is read from that file as it is.
// Prints "pid N" first (and "owner HANDLE" with --owner), then "result N" (confirm and okcancel: 1 for true, 0 for false;
// error and attention: 0), and with --owner "owner enabled=E active=A" after the box.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "support/Files.h"
#include "support/Text.h"
#include "support/Utils.h"
#include "ui/VMsgBox.h"

using namespace stub;

namespace {

HWND g_owner = nullptr;

HWND MakeOwner() {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_APPWORKSPACE + 1));
  wc.lpszClassName = "MsgBoxDemoOwner";
  RegisterClassA(&wc);
  HWND window = CreateWindowExA(0, wc.lpszClassName, "msgboxdemo owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10,
                                320, 200, nullptr, nullptr, wc.hInstance, nullptr);
  if (window) {
    SetForegroundWindow(window);
    SetActiveWindow(window);
    PumpMessages();
  }
  return window;
}

OwnerMode ModeArg(const std::string& text) {
  if (text == "owner") return reinterpret_cast<OwnerMode>(g_owner);
  return static_cast<OwnerMode>(ToInt64(text, 0));
}

std::string TextArg(const std::string& text) {
  if (text.size() > 1 && text[0] == '@') {
    return ReadFilePart(text.substr(1), 0, 0);
  }
  return text;
}

int Usage() {
  std::fprintf(stderr,
               "usage: msgboxdemo [--font FACE SIZE CHARSET] [--owner] "
               "show|ex|error|attention|confirm|okcancel ARGS...\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  size_t i = 0;
  bool withOwner = false;
  InitMsgBox();
  while (i < args.size() && args[i].compare(0, 2, "--") == 0) {
    if (args[i] == "--font" && i + 3 < args.size()) {
      SetMsgBoxFont(args[i + 1], static_cast<int>(ToInt64(args[i + 2], 0)),
                    static_cast<int>(ToInt64(args[i + 3], 1)));
      i += 4;
    } else if (args[i] == "--owner") {
      withOwner = true;
      ++i;
    } else {
      return Usage();
    }
  }
  if (i >= args.size()) return Usage();
  std::string command = args[i++];
  std::vector<std::string> a(args.begin() + static_cast<std::ptrdiff_t>(i), args.end());
  auto at = [&a](size_t n, const char* def) { return n < a.size() ? a[n] : std::string(def); };
  auto num = [&at](size_t n, int64_t def) { return ToInt64(at(n, ""), def); };

  std::printf("pid %lu\n", static_cast<unsigned long>(GetCurrentProcessId()));
  std::fflush(stdout);
  if (withOwner) {
    g_owner = MakeOwner();
    std::printf("owner %lld\n", static_cast<long long>(reinterpret_cast<INT_PTR>(g_owner)));
    std::fflush(stdout);
  }

  int result = 0;
  if (command == "show" && a.size() >= 6) {
    result = ShowMessageBox(ModeArg(a[0]), TextArg(a[1]), a[2], static_cast<unsigned>(num(3, 0)),
                            static_cast<DWORD>(num(4, 0)), static_cast<int>(num(5, 0)), at(6, ""));
  } else if (command == "ex" && a.size() >= 4) {
    result = MsgBoxEx(nullptr, TextArg(a[0]), a[1], static_cast<unsigned>(num(2, 0)), static_cast<DWORD>(num(3, 0)),
                      at(4, ""));
  } else if (command == "error" && a.size() >= 2) {
    MsgError(ModeArg(a[0]), TextArg(a[1]), at(2, ""), static_cast<int>(num(3, 0)), at(4, ""));
  } else if (command == "attention" && a.size() >= 2) {
    MsgAttention(ModeArg(a[0]), TextArg(a[1]), at(2, ""), static_cast<unsigned>(num(3, 0)),
                 static_cast<int>(num(4, 0)), at(5, ""));
  } else if (command == "confirm" && a.size() >= 2) {
    result = MsgConfirm(ModeArg(a[0]), TextArg(a[1]), at(2, ""), static_cast<unsigned>(num(3, 0)),
                        static_cast<int>(num(4, 0)), at(5, ""));
  } else if (command == "okcancel" && a.size() >= 2) {
    result = MsgOkCancel(ModeArg(a[0]), TextArg(a[1]), at(2, ""), static_cast<int>(num(3, 0)), at(4, ""));
  } else {
    return Usage();
  }
  std::printf("result %d\n", result);
  if (g_owner)
    std::printf("owner enabled=%d active=%d\n", IsWindowEnabled(g_owner) ? 1 : 0, GetActiveWindow() == g_owner ? 1 : 0);
  std::fflush(stdout);
  DoneMsgBox();
  return 0;
}
