// informdemo: shows the inform dialog with arguments from the command line and prints what
// it returned, so that the end-to-end tests can look at the dialog, answer it and check the
// result outside the agent.
//
//   informdemo [--owner] [--size W H] [--font FACE SIZE CHARSET] [--rtl] [--quit-after MS]
//              CAPTION BUTTON TEXT LINK
//
// TEXT is the inform text itself, "@PATH" for the text of a file as it is, or "inform:PATH"
// for an inform file (plain or scrambled) read the way the agent reads it; then its token is
// printed as "token TEXT". --owner makes a window that owns the dialog; --quit-after asks
// the thread to quit while the dialog shows. Prints "pid N" first (and "owner HANDLE"), then
// "result 0|1", "class-registered 0|1" (whether the dialog's window class is left behind)
// and, with --quit-after, "quit-reposted 0|1 CODE".
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "autoupdate/StubInformDlg.h"
#include "autoupdate/StubInformDlgCore.h"
#include "support/Files.h"
#include "support/Text.h"
#include "support/Utils.h"

using namespace stub;

namespace {

const int QuitCode = 7;

HWND MakeOwner() {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_APPWORKSPACE + 1));
  wc.lpszClassName = "InformDemoOwner";
  RegisterClassA(&wc);
  HWND window = CreateWindowExA(0, wc.lpszClassName, "informdemo owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10,
                                320, 200, nullptr, nullptr, wc.hInstance, nullptr);
  if (window) PumpMessages();
  return window;
}

void CALLBACK AskToQuit(HWND, UINT, UINT_PTR timer, DWORD) {
  KillTimer(nullptr, timer);
  PostQuitMessage(QuitCode);
}

int Usage() {
  std::fprintf(stderr,
               "usage: informdemo [--owner] [--size W H] [--font FACE SIZE CHARSET] [--rtl] [--quit-after MS] "
               "CAPTION BUTTON TEXT|@PATH|inform:PATH LINK\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  bool withOwner = false, rightToLeft = false;
  int width = 360, height = 360, fontSize = 8, charset = 0;
  unsigned quitAfter = 0;
  std::string face = "Tahoma";
  size_t i = 0;
  auto number = [&args](size_t at) { return static_cast<int>(ToInt64(args[at], 0)); };
  while (i < args.size() && args[i].compare(0, 2, "--") == 0) {
    if (args[i] == "--owner") {
      withOwner = true;
      i += 1;
    } else if (args[i] == "--rtl") {
      rightToLeft = true;
      i += 1;
    } else if (args[i] == "--size" && i + 2 < args.size()) {
      width = number(i + 1);
      height = number(i + 2);
      i += 3;
    } else if (args[i] == "--font" && i + 3 < args.size()) {
      face = args[i + 1];
      fontSize = number(i + 2);
      charset = number(i + 3);
      i += 4;
    } else if (args[i] == "--quit-after" && i + 1 < args.size()) {
      quitAfter = static_cast<unsigned>(number(i + 1));
      i += 2;
    } else {
      return Usage();
    }
  }
  if (args.size() - i != 4) return Usage();
  const std::string caption = args[i], button = args[i + 1], link = args[i + 3];
  std::string text = args[i + 2];

  std::printf("pid %lu\n", static_cast<unsigned long>(GetCurrentProcessId()));
  if (text.compare(0, 1, "@") == 0) {
    text = ReadFilePart(text.substr(1), 0, 0);
  } else if (text.compare(0, 7, "inform:") == 0) {
    InformFile file = ParseInformFile(ReadFilePart(text.substr(7), 0, 0));
    std::printf("token %s\n", file.token.c_str());
    text = file.text;
  }
  HWND owner = withOwner ? MakeOwner() : nullptr;
  if (withOwner) std::printf("owner %lld\n", static_cast<long long>(reinterpret_cast<INT_PTR>(owner)));
  std::fflush(stdout);

  if (quitAfter) SetTimer(nullptr, 0, quitAfter, AskToQuit);
  bool shown = ShowInformDialog(owner, caption, button, text, link, width, height, rightToLeft, face, fontSize,
                                charset);
  std::printf("result %d\n", shown ? 1 : 0);
  WNDCLASSA left;
  std::printf("class-registered %d\n", GetClassInfoA(GetModuleHandleA(nullptr), "VRichEditBox", &left) ? 1 : 0);
  if (quitAfter) {
    MSG msg;
    bool quit = PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != 0;
    std::printf("quit-reposted %d %d\n", quit ? 1 : 0, quit ? static_cast<int>(msg.wParam) : 0);
  }
  std::fflush(stdout);
  return 0;
}
