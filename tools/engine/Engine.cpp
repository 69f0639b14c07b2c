// Engine.exe: the least a setup engine must do to work with the stub, as a starting point
// for vendors and a stand-in for our tests.
//
// The stub starts it as  <folder>\Engine.exe [parameters] /TH_ID=_<thread> /OriginExe="<stub>"
// [/AutoUpdateProg]. The engine
//   - removes the global atom "AutoUpdateAtomTokenByTalvex" + token: that tells the stub the
//     setup went through the hand-off;
//   - may show a dialog window of class ".SDialog_Class_Name." + token; the stub waits until
//     no such window is left;
//   - exits with a code the stub passes on to its caller.
//
// What it does is read from Engine.ini beside it (all keys optional):
//   [Engine]
//   ExitCode=0            the exit code
//   RemoveAtom=1          1: remove the hand-off atom
//   DialogSeconds=0       how long to keep the dialog window open
//   RecordTo=             a file to append a record of the run to (command line, folder, files)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::string ExeFolder() {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string s(path, n);
  return s.substr(0, s.find_last_of('\\') + 1);
}

std::string IniString(const std::string& ini, const char* key, const char* def) {
  char value[1024];
  GetPrivateProfileStringA("Engine", key, def, value, sizeof value, ini.c_str());
  return value;
}

// The value of /TH_ID= in the command line, up to the next blank.
std::string Token(const std::string& commandLine) {
  size_t at = commandLine.find("/TH_ID=");
  if (at == std::string::npos) return std::string();
  size_t from = at + 7;
  size_t end = commandLine.find(' ', from);
  return commandLine.substr(from, end == std::string::npos ? std::string::npos : end - from);
}

void ListFiles(const std::string& root, const std::string& relative, std::vector<std::string>& out) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((root + relative + "*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    std::string name = found.cFileName;
    if (name == "." || name == "..") continue;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      ListFiles(root, relative + name + "\\", out);
    } else {
      out.push_back(relative + name + " " + std::to_string(found.nFileSizeLow));
    }
  } while (FindNextFileA(search, &found));
  FindClose(search);
}

void Record(const std::string& path, const std::string& commandLine, bool atomFound, const std::string& folder) {
  FILE* f = std::fopen(path.c_str(), "ab");
  if (!f) return;
  std::fprintf(f, "commandline=%s\r\n", commandLine.c_str());
  std::fprintf(f, "folder=%s\r\n", folder.c_str());
  std::fprintf(f, "atom=%s\r\n", atomFound ? "found" : "missing");
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  GetStartupInfoA(&startup);
  std::fprintf(f, "show=%d\r\n", (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : -1);
  std::vector<std::string> files;
  ListFiles(folder, "", files);
  for (const std::string& file : files) std::fprintf(f, "file=%s\r\n", file.c_str());
  std::fprintf(f, "end\r\n");
  std::fclose(f);
}

LRESULT CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_TIMER || message == WM_CLOSE) {
    DestroyWindow(window);
    return 0;
  }
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

void ShowDialogFor(const std::string& className, unsigned seconds) {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = DialogProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.lpszClassName = className.c_str();
  if (!RegisterClassA(&wc)) return;
  HWND dialog = CreateWindowExA(0, className.c_str(), "Setup", WS_CAPTION | WS_SYSMENU | WS_VISIBLE, 200, 200,
                                360, 160, nullptr, nullptr, wc.hInstance, nullptr);
  if (!dialog) return;
  CreateWindowExA(0, "STATIC", "Installing the sample product...", WS_CHILD | WS_VISIBLE, 20, 30, 300, 20,
                  dialog, nullptr, wc.hInstance, nullptr);
  SetTimer(dialog, 1, seconds * 1000u, nullptr);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  const std::string commandLine = GetCommandLineA();
  const std::string folder = ExeFolder();
  const std::string ini = folder + "Engine.ini";
  const std::string token = Token(commandLine);
  const std::string atomName = "AutoUpdateAtomTokenByTalvex" + token;

  ATOM atom = token.empty() ? 0 : GlobalFindAtomA(atomName.c_str());
  const std::string recordTo = IniString(ini, "RecordTo", "");
  if (!recordTo.empty()) Record(recordTo, commandLine, atom != 0, folder);

  if (atom && IniString(ini, "RemoveAtom", "1") == "1") GlobalDeleteAtom(atom);
  unsigned seconds = static_cast<unsigned>(std::atoi(IniString(ini, "DialogSeconds", "0").c_str()));
  if (seconds > 0 && !token.empty()) ShowDialogFor(".SDialog_Class_Name." + token, seconds);
  return std::atoi(IniString(ini, "ExitCode", "0").c_str());
}
