// wintest: what the end-to-end tests need from the Windows side that a shell cannot do.
//
//   wintest hold-window CLASS SECONDS [TITLE]   a hidden top-level window of CLASS (caption
//                                         "wintest", or TITLE, which may be empty) for that
//                                         long; prints "ready HANDLE" once it exists, then one
//                                         line "msg NUMBER WPARAM LPARAM" for every message
//                                         from WM_USER on that is posted to it
//   wintest hold-file PATH SECONDS        keeps the file open for that long, sharing it for
//                                         reading only (as a running program holds its file);
//                                         prints "ready" once it is open
//   wintest find-window CLASS             exit 0 when a top-level window of CLASS exists
//   wintest find-window-prefix PREFIX     the same for any class that begins with PREFIX
//   wintest window-info CLASS             the window's handle, process (id and program),
//                                         caption, visibility and children as JSON
//                                         (progress bars with their position and maximum)
//   wintest post-message CLASS MESSAGE WPARAM LPARAM   posts to the window (exit 1: none)
//   wintest run COMMANDLINE               runs it and prints "exit N", the full 32-bit code
//   wintest send-message CLASS MESSAGE    sends MESSAGE (a number, or the name of a registered
//                                         message) to the window and prints "result N"
//   wintest close-window CLASS [TIMES]    the Close command of the window's system menu, as a
//                                         click on its close box; after each one prints "open"
//                                         or "gone" (exit 1 when there is no such window)
//   wintest msgbox-wait [--timeout S] [--pid P]   waits for a message box of the program and
//                                         prints it as JSON: caption, text, bold runs, buttons
//                                         (text, id, rectangle, default, enabled, focused) ...
//   wintest msgbox-press TEXT|ID          clicks the button with that text ("&" optional) or id
//   wintest msgbox-key KEY                posts a key to the box: Return, Escape, Tab, Left,
//                                         Right, Up, Down, Space, a character, or char:X (WM_CHAR)
//   wintest msgbox-close                  the Close command of the box's system menu
//   wintest msgbox-gone                   exit 0 once no box is left
//                                         (msgbox-* --class NAME: a window of that class,
//                                         such as the inform dialog "VRichEditBox", instead)
//   wintest move-window CLASS X Y W H     moves and sizes the window as a user would
//   wintest record-url FILE URL           appends URL to FILE: a stand-in web browser
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>
#include <richedit.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

static int HoldWindow(const char* className, unsigned seconds, const char* title) {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = className;
  if (!RegisterClassA(&wc)) return 3;
  HWND window = CreateWindowExA(0, className, title, WS_OVERLAPPED, 0, 0, 100, 50, nullptr, nullptr,
                                wc.hInstance, nullptr);
  if (!window) return 4;
  std::printf("ready %lu\n", static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(window)));
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

static int HoldFile(const char* path, unsigned seconds) {
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 3;
  std::printf("ready\n");
  std::fflush(stdout);
  Sleep(seconds * 1000u);
  CloseHandle(file);
  return 0;
}

// ---------------------------------------------------------------------------------------
// The program's message boxes (window class "VMsgBox"), found, described and answered from
// outside. Options: --timeout SECONDS (default 10), --pid PROCESS (only boxes of that process),
// --class NAME (another window of the same make, such as the inform dialog).

struct BoxQuery {
  double timeoutSeconds = 10;
  DWORD pid = 0;
  std::string className = "VMsgBox";
};

struct FindBoxData {
  DWORD pid;
  const char* className;
  HWND found;
};

static BOOL CALLBACK FindBoxProc(HWND window, LPARAM lParam) {
  FindBoxData* data = reinterpret_cast<FindBoxData*>(lParam);
  char name[64] = {};
  GetClassNameA(window, name, sizeof name);
  if (std::strcmp(name, data->className) != 0) return TRUE;
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (data->pid && pid != data->pid) return TRUE;
  data->found = window;
  return FALSE;
}

static HWND FindBox(const BoxQuery& q) {
  FindBoxData data = {q.pid, q.className.c_str(), nullptr};
  EnumWindows(FindBoxProc, reinterpret_cast<LPARAM>(&data));
  return data.found;
}

struct Children {
  HWND text = nullptr;
  std::vector<HWND> buttons;
};

static BOOL CALLBACK CollectChild(HWND window, LPARAM lParam) {
  Children* c = reinterpret_cast<Children*>(lParam);
  char name[32] = {};
  GetClassNameA(window, name, sizeof name);
  if (!lstrcmpiA(name, "Button")) c->buttons.push_back(window);
  else if (!lstrcmpiA(name, "RICHEDIT")) c->text = window;
  return TRUE;
}

static Children ChildrenOf(HWND box) {
  Children c;
  EnumChildWindows(box, CollectChild, reinterpret_cast<LPARAM>(&c));
  std::sort(c.buttons.begin(), c.buttons.end(), [](HWND a, HWND b) {
    RECT ra, rb;
    GetWindowRect(a, &ra);
    GetWindowRect(b, &rb);
    return ra.left < rb.left;
  });
  return c;
}

static bool Responds(HWND window, UINT message = WM_NULL, WPARAM wParam = 0, LPARAM lParam = 0,
                     DWORD_PTR* answer = nullptr) {
  DWORD_PTR result = 0;
  bool ok = SendMessageTimeoutA(window, message, wParam, lParam, SMTO_NORMAL, 2000, &result) != 0;
  if (answer) *answer = result;
  return ok;
}

static HWND FocusOf(HWND box) {
  GUITHREADINFO info = {};
  info.cbSize = sizeof info;
  return GetGUIThreadInfo(GetWindowThreadProcessId(box, nullptr), &info) ? info.hwndFocus : nullptr;
}

// A box is ready once it is visible, its buttons exist, one of them has the focus and its
// loop answers messages. Other windows may have no button; then their text must be there.
static HWND WaitForBox(const BoxQuery& q) {
  DWORD start = GetTickCount();
  const bool buttonsRequired = q.className == "VMsgBox";
  for (;;) {
    HWND box = FindBox(q);
    if (box && IsWindowVisible(box)) {
      Children c = ChildrenOf(box);
      HWND focus = FocusOf(box);
      bool focusOnButton = std::find(c.buttons.begin(), c.buttons.end(), focus) != c.buttons.end();
      bool settled = c.buttons.empty() ? !buttonsRequired && c.text : focusOnButton;
      if (settled && Responds(box)) return box;
    }
    if (GetTickCount() - start > static_cast<DWORD>(q.timeoutSeconds * 1000)) return nullptr;
    Sleep(30);
  }
}

static std::string JsonString(const std::wstring& text) {
  std::string out = "\"";
  for (wchar_t ch : text) {
    unsigned c = static_cast<unsigned>(ch);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\u%04x", c);
      out += esc;
    }
  }
  return out + "\"";
}

static std::wstring WideText(HWND window) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, 2000, &length)) return std::wstring();
  std::vector<wchar_t> buffer(length + 1, L'\0');
  DWORD_PTR got = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()), SMTO_NORMAL, 2000,
                      &got);
  return std::wstring(buffer.data(), got);
}

static std::string JsonRect(const RECT& r) {
  char text[80];
  std::snprintf(text, sizeof text, "[%ld, %ld, %ld, %ld]", static_cast<long>(r.left), static_cast<long>(r.top),
                static_cast<long>(r.right - r.left), static_cast<long>(r.bottom - r.top));
  return text;
}

static RECT RectInClient(HWND child, HWND parent) {
  RECT r;
  GetWindowRect(child, &r);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

// Rich-edit messages carry pointers that are not carried across processes: the structures
// are written into the box's process and read back from there.
class RemoteBuffer {
 public:
  explicit RemoteBuffer(HWND window) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (process_) memory_ = VirtualAllocEx(process_, nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  }
  ~RemoteBuffer() {
    if (memory_) VirtualFreeEx(process_, memory_, 0, MEM_RELEASE);
    if (process_) CloseHandle(process_);
  }
  bool ok() const { return memory_ != nullptr; }
  LPARAM at(size_t offset) const { return reinterpret_cast<LPARAM>(static_cast<char*>(memory_) + offset); }
  template <class T>
  bool put(size_t offset, const T& value) {
    return WriteProcessMemory(process_, static_cast<char*>(memory_) + offset, &value, sizeof value, nullptr);
  }
  template <class T>
  bool get(size_t offset, T& value) {
    return ReadProcessMemory(process_, static_cast<char*>(memory_) + offset, &value, sizeof value, nullptr);
  }

 private:
  HANDLE process_ = nullptr;
  void* memory_ = nullptr;
};

struct TextFacts {
  std::string boldRuns = "[]";
  std::string alignment = "null";
};

static TextFacts ReadTextFacts(HWND text, const std::wstring& shown) {
  size_t length = shown.size();
  TextFacts facts;
  RemoteBuffer remote(text);
  if (!remote.ok()) return facts;
  const size_t rangeAt = 0, formatAt = 64, paraAt = 512;
  auto select = [&](LONG from, LONG to) {
    CHARRANGE range = {from, to};
    remote.put(rangeAt, range);
    Responds(text, EM_EXSETSEL, 0, remote.at(rangeAt));
  };
  std::string runs;
  long runStart = -1;
  for (size_t i = 0; i <= length; ++i) {
    // A line break carries its paragraph's format, not a character's: it ends a run.
    bool bold = false;
    if (i < length && shown[i] != L'\r' && shown[i] != L'\n') {
      select(static_cast<LONG>(i), static_cast<LONG>(i + 1));
      CHARFORMATA format = {};
      format.cbSize = sizeof format;
      remote.put(formatAt, format);
      Responds(text, EM_GETCHARFORMAT, SCF_SELECTION, remote.at(formatAt));
      remote.get(formatAt, format);
      bold = (format.dwMask & CFM_BOLD) && (format.dwEffects & CFE_BOLD);
    }
    if (bold && runStart < 0) runStart = static_cast<long>(i);
    if (!bold && runStart >= 0) {
      char run[48];
      std::snprintf(run, sizeof run, "%s[%ld, %ld]", runs.empty() ? "" : ", ", runStart, static_cast<long>(i));
      runs += run;
      runStart = -1;
    }
  }
  facts.boldRuns = "[" + runs + "]";
  select(0, 0);
  PARAFORMAT para = {};
  para.cbSize = sizeof para;
  remote.put(paraAt, para);
  if (Responds(text, EM_GETPARAFORMAT, 0, remote.at(paraAt)) && remote.get(paraAt, para)) {
    facts.alignment = para.wAlignment == PFA_RIGHT ? "\"right\"" : para.wAlignment == PFA_CENTER ? "\"center\"" : "\"left\"";
  }
  return facts;
}

static std::string DescribeBox(HWND box) {
  Children c = ChildrenOf(box);
  HWND focus = FocusOf(box);
  RECT boxRect, client;
  GetWindowRect(box, &boxRect);
  GetClientRect(box, &client);
  DWORD pid = 0;
  GetWindowThreadProcessId(box, &pid);
  HWND owner = GetWindow(box, GW_OWNER);
  LONG_PTR exStyle = GetWindowLongPtrA(box, GWL_EXSTYLE);
  std::string closeGreyed = "null";
  HMENU menu = GetSystemMenu(box, FALSE);
  if (menu) {
    UINT state = GetMenuState(menu, SC_CLOSE, MF_BYCOMMAND);
    if (state != static_cast<UINT>(-1)) closeGreyed = (state & (MF_GRAYED | MF_DISABLED)) ? "true" : "false";
  }
  DWORD_PTR autoPlay = 0;
  bool autoPlayAnswered = Responds(box, RegisterWindowMessageA("QueryCancelAutoPlay"), 0, 0, &autoPlay);
  char head[600];
  char className[64] = {};
  GetClassNameA(box, className, sizeof className);
  std::snprintf(head, sizeof head,
                "{\"pid\": %lu, \"handle\": %lld, \"class\": \"%s\", \"style\": %lu, \"exstyle\": %lu, "
                "\"owner\": %lld, \"owner_enabled\": %s, \"topmost\": %s, "
                "\"active\": %s, \"close_greyed\": %s, \"autoplay_answer\": %s, \"rect\": %s, "
                "\"client\": [%ld, %ld], ",
                static_cast<unsigned long>(pid), static_cast<long long>(reinterpret_cast<INT_PTR>(box)), className,
                static_cast<unsigned long>(GetWindowLongA(box, GWL_STYLE)),
                static_cast<unsigned long>(exStyle), static_cast<long long>(reinterpret_cast<INT_PTR>(owner)),
                owner ? (IsWindowEnabled(owner) ? "true" : "false") : "null",
                (exStyle & WS_EX_TOPMOST) ? "true" : "false", GetForegroundWindow() == box ? "true" : "false",
                closeGreyed.c_str(), autoPlayAnswered ? std::to_string(autoPlay).c_str() : "null",
                JsonRect(boxRect).c_str(), static_cast<long>(client.right), static_cast<long>(client.bottom));
  std::string json = head;
  json += "\"caption\": " + JsonString(WideText(box)) + ", ";
  if (c.text) {
    std::wstring text = WideText(c.text);
    TextFacts facts = ReadTextFacts(c.text, text);
    LONG_PTR style = GetWindowLongPtrA(c.text, GWL_STYLE);
    LONG_PTR textEx = GetWindowLongPtrA(c.text, GWL_EXSTYLE);
    json += "\"text\": " + JsonString(text) + ", \"bold\": " + facts.boldRuns + ", \"alignment\": " +
            facts.alignment + ", \"right_style\": " + ((style & ES_RIGHT) ? "true" : "false") +
            ", \"rtl_reading\": " + ((textEx & WS_EX_RTLREADING) ? "true" : "false") +
            ", \"text_style\": " + std::to_string(static_cast<unsigned long>(style)) +
            ", \"text_exstyle\": " + std::to_string(static_cast<unsigned long>(textEx)) +
            ", \"text_rect\": " + JsonRect(RectInClient(c.text, box)) + ", ";
    DWORD_PTR lines = 0;
    Responds(c.text, EM_GETLINECOUNT, 0, 0, &lines);
    json += "\"text_lines\": " + std::to_string(lines) + ", ";
  } else {
    json += "\"text\": null, \"bold\": [], ";
  }
  json += "\"buttons\": [";
  for (size_t i = 0; i < c.buttons.size(); ++i) {
    HWND b = c.buttons[i];
    LONG_PTR style = GetWindowLongPtrA(b, GWL_STYLE);
    char facts[240];
    std::snprintf(facts, sizeof facts,
                  ", \"id\": %d, \"rect\": %s, \"default\": %s, \"enabled\": %s, \"focused\": %s, "
                  "\"userdata\": %lld}",
                  GetDlgCtrlID(b), JsonRect(RectInClient(b, box)).c_str(),
                  (style & BS_TYPEMASK) == BS_DEFPUSHBUTTON ? "true" : "false",
                  IsWindowEnabled(b) ? "true" : "false", b == focus ? "true" : "false",
                  static_cast<long long>(GetWindowLongPtrA(b, GWLP_USERDATA)));
    json += (i ? ", " : "") + std::string("{\"text\": ") + JsonString(WideText(b)) + facts;
  }
  return json + "]}";
}

static bool ParseBoxOptions(int argc, char** argv, int first, BoxQuery& q, std::vector<std::string>& rest) {
  for (int i = first; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--timeout") && i + 1 < argc) q.timeoutSeconds = std::atof(argv[++i]);
    else if (!std::strcmp(argv[i], "--pid") && i + 1 < argc) q.pid = static_cast<DWORD>(std::strtoul(argv[++i], nullptr, 10));
    else if (!std::strcmp(argv[i], "--class") && i + 1 < argc) q.className = argv[++i];
    else rest.push_back(argv[i]);
  }
  return true;
}

static int MsgBoxWait(const BoxQuery& q) {
  HWND box = WaitForBox(q);
  if (!box) {
    std::fprintf(stderr, "no message box\n");
    return 1;
  }
  std::printf("%s\n", DescribeBox(box).c_str());
  return 0;
}

static std::string WithoutAmpersand(const std::string& text) {
  std::string out;
  for (char c : text)
    if (c != '&') out += c;
  return out;
}

static int MsgBoxPress(const BoxQuery& q, const std::string& which) {
  HWND box = WaitForBox(q);
  if (!box) return 1;
  bool byId = !which.empty() && which.find_first_not_of("0123456789") == std::string::npos;
  for (HWND b : ChildrenOf(box).buttons) {
    char text[256] = {};
    GetWindowTextA(b, text, sizeof text);
    bool match = byId ? GetDlgCtrlID(b) == std::atoi(which.c_str())
                      : (which == text || !lstrcmpiA(WithoutAmpersand(which).c_str(), WithoutAmpersand(text).c_str()));
    if (!match) continue;
    Responds(b, BM_CLICK);
    return 0;
  }
  std::fprintf(stderr, "no button %s\n", which.c_str());
  return 1;
}

static int MsgBoxKey(const BoxQuery& q, const std::string& key) {
  HWND box = WaitForBox(q);
  if (!box) return 1;
  HWND target = FocusOf(box);
  if (!target) target = box;
  static const struct {
    const char* name;
    UINT vk;
  } names[] = {{"Return", VK_RETURN}, {"Escape", VK_ESCAPE}, {"Tab", VK_TAB},     {"Left", VK_LEFT},
               {"Right", VK_RIGHT},   {"Up", VK_UP},         {"Down", VK_DOWN}, {"Space", VK_SPACE}};
  if (key.compare(0, 5, "char:") == 0 && key.size() == 6) {
    PostMessageA(target, WM_CHAR, static_cast<unsigned char>(key[5]), 1);
  } else {
    UINT vk = 0;
    for (const auto& n : names)
      if (!lstrcmpiA(n.name, key.c_str())) vk = n.vk;
    if (!vk && key.size() == 1) vk = LOBYTE(VkKeyScanA(key[0]));
    if (!vk) {
      std::fprintf(stderr, "unknown key %s\n", key.c_str());
      return 2;
    }
    UINT scan = MapVirtualKeyA(vk, 0);
    PostMessageA(target, WM_KEYDOWN, vk, 1 | (scan << 16));
    PostMessageA(target, WM_KEYUP, vk, 1 | (scan << 16) | 0xC0000000u);
  }
  // The keys are handled by the box's loop before anything sent afterwards.
  Sleep(50);
  Responds(box);
  return 0;
}

static int MsgBoxClose(const BoxQuery& q) {
  HWND box = WaitForBox(q);
  if (!box) return 1;
  PostMessageA(box, WM_SYSCOMMAND, SC_CLOSE, 0);
  Sleep(50);
  Responds(box);
  return 0;
}

static int MsgBoxGone(const BoxQuery& q) {
  DWORD start = GetTickCount();
  while (FindBox(q)) {
    if (GetTickCount() - start > static_cast<DWORD>(q.timeoutSeconds * 1000)) return 1;
    Sleep(30);
  }
  return 0;
}

static int MsgBoxCommand(int argc, char** argv) {
  BoxQuery q;
  std::vector<std::string> rest;
  ParseBoxOptions(argc, argv, 2, q, rest);
  std::string command = argv[1];
  if (command == "msgbox-wait" && rest.empty()) return MsgBoxWait(q);
  if (command == "msgbox-press" && rest.size() == 1) return MsgBoxPress(q, rest[0]);
  if (command == "msgbox-key" && rest.size() == 1) return MsgBoxKey(q, rest[0]);
  if (command == "msgbox-close" && rest.empty()) return MsgBoxClose(q);
  if (command == "msgbox-gone" && rest.empty()) return MsgBoxGone(q);
  return -1;
}

// Runs a command line to its end and prints its full 32-bit exit code (a shell sees only
// the low byte of it).
static int RunAndReport(const char* commandLine) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  std::vector<char> command(commandLine, commandLine + std::strlen(commandLine) + 1);
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
    std::printf("start-failed %lu\n", GetLastError());
    return 3;
  }
  WaitForSingleObject(info.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(info.hProcess, &code);
  std::printf("exit %lu\n", static_cast<unsigned long>(code));
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  return 0;
}

struct PrefixSearch {
  const char* prefix;
  bool found;
};

static BOOL CALLBACK MatchClassPrefix(HWND window, LPARAM param) {
  PrefixSearch* search = reinterpret_cast<PrefixSearch*>(param);
  char name[256];
  if (GetClassNameA(window, name, sizeof name) && !std::strncmp(name, search->prefix, std::strlen(search->prefix))) {
    search->found = true;
    return FALSE;
  }
  return TRUE;
}

static std::string JsonText(const char* text) {
  std::string out;
  for (const char* p = text; *p; ++p) {
    unsigned char c = static_cast<unsigned char>(*p);
    if (c == '"' || c == '\\') out += '\\', out += static_cast<char>(c);
    else if (c < 32) out += ' ';
    else out += static_cast<char>(c);
  }
  return out;
}

static BOOL CALLBACK DescribeChild(HWND child, LPARAM param) {
  std::string* out = reinterpret_cast<std::string*>(param);
  char name[256] = "", text[512] = "";
  GetClassNameA(child, name, sizeof name);
  // Asked of the window itself: Wine's copy of another process's window text can lag behind.
  DWORD_PTR got = 0;
  if (!SendMessageTimeoutA(child, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 2000, &got))
    GetWindowTextA(child, text, sizeof text);
  // The child's rectangle in its parent's client coordinates, as it was created.
  RECT r;
  GetWindowRect(child, &r);
  MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&r), 2);
  char line[1024];
  std::snprintf(line, sizeof line,
                "%s{\"class\": \"%s\", \"text\": \"%s\", \"visible\": %s, \"x\": %ld, \"y\": %ld, "
                "\"width\": %ld, \"height\": %ld, \"style\": %lu, \"exstyle\": %lu}",
                out->back() == '[' ? "" : ", ", JsonText(name).c_str(), JsonText(text).c_str(),
                IsWindowVisible(child) ? "true" : "false", static_cast<long>(r.left), static_cast<long>(r.top),
                static_cast<long>(r.right - r.left), static_cast<long>(r.bottom - r.top),
                static_cast<unsigned long>(GetWindowLongA(child, GWL_STYLE)),
                static_cast<unsigned long>(GetWindowLongA(child, GWL_EXSTYLE)));
  *out += line;
  // A progress bar also tells where it stands.
  if (!lstrcmpiA(name, "msctls_progress32")) {
    out->pop_back();
    std::snprintf(line, sizeof line, ", \"pos\": %ld, \"max\": %ld}",
                  static_cast<long>(SendMessageA(child, PBM_GETPOS, 0, 0)),
                  static_cast<long>(SendMessageA(child, PBM_GETRANGE, FALSE, 0)));
    *out += line;
  }
  return TRUE;
}

// The program a process runs, as the system lists it; empty when it cannot be read.
static std::string ProgramOf(DWORD pid) {
  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
  if (!process) return std::string();
  char path[MAX_PATH] = "";
  DWORD n = GetModuleFileNameExA(process, nullptr, path, sizeof path);
  CloseHandle(process);
  return std::string(path, n);
}

// One line of JSON about the top-level window of a class: caption, visibility, children.
static int WindowInfo(const char* className) {
  HWND window = FindWindowA(className, nullptr);
  if (!window) return 1;
  char caption[512] = "";
  GetWindowTextA(window, caption, sizeof caption);
  RECT r;
  GetWindowRect(window, &r);
  std::string children = "[";
  EnumChildWindows(window, DescribeChild, reinterpret_cast<LPARAM>(&children));
  children += "]";
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  std::printf("{\"handle\": %lu, \"pid\": %lu, \"exe\": \"%s\", \"caption\": \"%s\", \"visible\": %s, \"width\": %ld, \"height\": %ld, \"style\": %lu, "
              "\"exstyle\": %lu, \"children\": %s}\n",
              static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(window)), static_cast<unsigned long>(pid),
              JsonText(ProgramOf(pid).c_str()).c_str(), JsonText(caption).c_str(), IsWindowVisible(window) ? "true" : "false", static_cast<long>(r.right - r.left),
              static_cast<long>(r.bottom - r.top), static_cast<unsigned long>(GetWindowLongA(window, GWL_STYLE)),
              static_cast<unsigned long>(GetWindowLongA(window, GWL_EXSTYLE)), children.c_str());
  return 0;
}

static int PostToWindow(const char* className, const char* message, const char* wParam, const char* lParam) {
  HWND window = FindWindowA(className, nullptr);
  if (!window) return 1;
  return PostMessageA(window, static_cast<UINT>(std::strtoul(message, nullptr, 0)),
                      static_cast<WPARAM>(std::strtoull(wParam, nullptr, 0)),
                      static_cast<LPARAM>(std::strtoll(lParam, nullptr, 0)))
             ? 0
             : 1;
}

static int SendToWindow(const char* className, const char* message) {
  HWND window = FindWindowA(className, nullptr);
  if (!window) return 1;
  char* end = nullptr;
  UINT number = static_cast<UINT>(std::strtoul(message, &end, 0));
  if (!*message || *end) number = RegisterWindowMessageA(message);
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutA(window, number, 0, 0, SMTO_NORMAL, 5000, &result)) return 1;
  std::printf("result %lld\n", static_cast<long long>(result));
  return 0;
}

// Asks the top-level window of a class to close the way a user does, TIMES times, and says
// after each request whether the window is still there.
static int CloseWindowLikeAUser(const char* className, int times) {
  HWND window = FindWindowA(className, nullptr);
  if (!window) return 1;
  for (int i = 0; i < times; ++i) {
    PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    // The request is handled once the window answers a message sent after it; a window
    // that is gone answers nothing.
    DWORD_PTR ignored;
    SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &ignored);
    Sleep(100);
    std::printf("%s\n", IsWindow(window) ? "open" : "gone");
    std::fflush(stdout);
  }
  return 0;
}

// Moves and sizes a top-level window from outside and prints its new rectangle once its
// thread has handled the change.
static int MoveWindowOf(const char* className, int x, int y, int width, int height) {
  HWND window = FindWindowA(className, nullptr);
  if (!window) return 1;
  if (!SetWindowPos(window, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE)) return 1;
  Responds(window);
  RECT r;
  GetWindowRect(window, &r);
  std::printf("%s\n", JsonRect(r).c_str());
  return 0;
}

// Stands in for a web browser registered for http and https: the tests read what the shell
// was asked to open.
static int RecordUrl(const char* file, const char* url) {
  std::FILE* out = std::fopen(file, "ab");
  if (!out) return 1;
  std::fprintf(out, "%s\n", url);
  std::fclose(out);
  return 0;
}

int main(int argc, char** argv) {
  if ((argc == 4 || argc == 5) && !std::strcmp(argv[1], "hold-window"))
    return HoldWindow(argv[2], static_cast<unsigned>(std::atoi(argv[3])), argc == 5 ? argv[4] : "wintest");
  if (argc == 4 && !std::strcmp(argv[1], "hold-file"))
    return HoldFile(argv[2], static_cast<unsigned>(std::atoi(argv[3])));
  if (argc == 3 && !std::strcmp(argv[1], "find-window")) return FindWindowA(argv[2], nullptr) ? 0 : 1;
  if (argc == 3 && !std::strcmp(argv[1], "find-window-prefix")) {
    PrefixSearch search = {argv[2], false};
    EnumWindows(MatchClassPrefix, reinterpret_cast<LPARAM>(&search));
    return search.found ? 0 : 1;
  }
  if (argc == 3 && !std::strcmp(argv[1], "window-info")) return WindowInfo(argv[2]);
  if (argc == 3 && !std::strcmp(argv[1], "run")) return RunAndReport(argv[2]);
  if (argc == 4 && !std::strcmp(argv[1], "send-message")) return SendToWindow(argv[2], argv[3]);
  if (argc == 6 && !std::strcmp(argv[1], "post-message")) return PostToWindow(argv[2], argv[3], argv[4], argv[5]);
  if ((argc == 3 || argc == 4) && !std::strcmp(argv[1], "close-window"))
    return CloseWindowLikeAUser(argv[2], argc == 4 ? std::atoi(argv[3]) : 1);
  if (argc == 7 && !std::strcmp(argv[1], "move-window"))
    return MoveWindowOf(argv[2], std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]), std::atoi(argv[6]));
  if (argc == 4 && !std::strcmp(argv[1], "record-url")) return RecordUrl(argv[2], argv[3]);
  if (argc >= 2 && !std::strncmp(argv[1], "msgbox-", 7)) {
    int rc = MsgBoxCommand(argc, argv);
    if (rc >= 0) return rc;
  }
  std::fprintf(stderr,
               "usage: wintest hold-window CLASS SECONDS [TITLE] | hold-file PATH SECONDS | find-window CLASS | find-window-prefix PREFIX\n"
               "       wintest window-info CLASS | run COMMANDLINE | close-window CLASS [TIMES]\n"
               "       wintest send-message CLASS MESSAGE|REGISTERED-NAME\n"
               "       wintest post-message CLASS MESSAGE WPARAM LPARAM\n"
               "       wintest msgbox-wait | msgbox-press TEXT|ID | msgbox-key KEY | msgbox-close | msgbox-gone"
               " [--timeout S] [--pid P] [--class NAME]\n"
               "       wintest move-window CLASS X Y W H | record-url FILE URL\n");
  return 2;
}
