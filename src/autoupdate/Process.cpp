#include <windows.h>
#include <tlhelp32.h>

#include "autoupdate/Process.h"

#include <algorithm>
#include <cstring>

#include "autoupdate/ProcessMatch.h"
#include "support/Utils.h"

namespace stub {

typedef BOOL(WINAPI* EnumProcessesFn)(DWORD*, DWORD, DWORD*);
typedef BOOL(WINAPI* EnumProcessModulesFn)(HANDLE, HMODULE*, DWORD, DWORD*);
typedef DWORD(WINAPI* GetModuleTextFn)(HANDLE, HMODULE, LPSTR, DWORD);
typedef HANDLE(WINAPI* CreateSnapshotFn)(DWORD, DWORD);
typedef BOOL(WINAPI* Process32Fn)(HANDLE, PROCESSENTRY32*);

// The listing libraries, bound on first use. PSAPI is forgotten when it does not load, so
// that the next use tries again; Tool Help lives in kernel32, which is always loaded.
struct PsapiApi {
  HMODULE library = nullptr;
  EnumProcessesFn EnumProcesses = nullptr;
  EnumProcessModulesFn EnumProcessModules = nullptr;
  GetModuleTextFn GetModuleBaseNameA = nullptr;
  GetModuleTextFn GetModuleFileNameExA = nullptr;
};
struct ToolHelpApi {
  bool bound = false;
  CreateSnapshotFn CreateToolhelp32Snapshot = nullptr;
  Process32Fn Process32First = nullptr;
  Process32Fn Process32Next = nullptr;
};
static PsapiApi g_psapi;
static ToolHelpApi g_toolHelp;
static bool g_useToolHelpForTesting = false;

template <class Function>
static Function Bound(HMODULE module, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

static const PsapiApi& Psapi() {
  if (!g_psapi.library) {
    // By its full path: a PSAPI.dll planted beside the stub must never be loaded.
    HMODULE library = LoadFromSystemFolder("PSAPI.dll");
    if (reinterpret_cast<UINT_PTR>(library) < 32) return g_psapi;
    g_psapi.library = library;
    g_psapi.EnumProcesses = Bound<EnumProcessesFn>(library, "EnumProcesses");
    g_psapi.EnumProcessModules = Bound<EnumProcessModulesFn>(library, "EnumProcessModules");
    g_psapi.GetModuleBaseNameA = Bound<GetModuleTextFn>(library, "GetModuleBaseNameA");
    g_psapi.GetModuleFileNameExA = Bound<GetModuleTextFn>(library, "GetModuleFileNameExA");
  }
  return g_psapi;
}

static const ToolHelpApi& ToolHelp() {
  if (!g_toolHelp.bound) {
    g_toolHelp.bound = true;
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (kernel) {
      g_toolHelp.CreateToolhelp32Snapshot = Bound<CreateSnapshotFn>(kernel, "CreateToolhelp32Snapshot");
      g_toolHelp.Process32First = Bound<Process32Fn>(kernel, "Process32First");
      g_toolHelp.Process32Next = Bound<Process32Fn>(kernel, "Process32Next");
    }
  }
  return g_toolHelp;
}

void UseToolHelpForTesting(bool use) { g_useToolHelpForTesting = use; }

static bool UsePsapi() { return IsWinNT() && !g_useToolHelpForTesting; }

static std::string ShortForm(const std::string& path) {
  if (path.empty()) return std::string();
  char buffer[MAX_PATH + 1] = {};
  DWORD n = GetShortPathNameA(path.c_str(), buffer, sizeof buffer);
  return (n == 0 || n >= sizeof buffer) ? std::string() : std::string(buffer, n);
}

// Every process id the system lists, in its order; empty when PSAPI is missing.
static std::vector<DWORD> ListedProcessIds() {
  const PsapiApi& api = Psapi();
  std::vector<DWORD> ids;
  if (!api.EnumProcesses) return ids;
  for (DWORD bytes = 1024;; bytes += 1024) {
    ids.assign(bytes / sizeof(DWORD), 0);
    DWORD filled = 0;
    if (!api.EnumProcesses(ids.data(), bytes, &filled)) return std::vector<DWORD>();
    if (filled < bytes) {
      ids.resize(filled / sizeof(DWORD));
      return ids;
    }
  }
}

static ProcessFacts PsapiFacts(DWORD id) {
  const PsapiApi& api = Psapi();
  ProcessFacts facts;
  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, id);
  if (!process) return facts;
  HMODULE module = nullptr;
  DWORD needed = 0;
  // The first module is the executable. Wine's own 64-bit services refuse this: no match.
  if (api.EnumProcessModules && api.GetModuleFileNameExA && api.GetModuleBaseNameA &&
      api.EnumProcessModules(process, &module, sizeof module, &needed)) {
    char text[256] = {};
    DWORD n = api.GetModuleFileNameExA(process, module, text, sizeof text);
    facts.fullPath.assign(text, std::min<DWORD>(n, sizeof text));
    n = api.GetModuleBaseNameA(process, module, text, sizeof text);
    facts.fileName.assign(text, std::min<DWORD>(n, sizeof text));
  }
  CloseHandle(process);
  facts.shortPath = ShortForm(facts.fullPath);
  return facts;
}

static DWORD FindThroughPsapi(const std::string& path, const std::string& wantedShort, bool strict) {
  const std::vector<DWORD> ids = ListedProcessIds();
  for (auto id = ids.rbegin(); id != ids.rend(); ++id)
    if (ProcessMatches(PsapiFacts(*id), path, wantedShort, strict)) return *id;
  return 0;
}

static DWORD FindThroughToolHelp(const std::string& path, const std::string& wantedShort, bool strict) {
  const ToolHelpApi& api = ToolHelp();
  if (!api.CreateToolhelp32Snapshot || !api.Process32First || !api.Process32Next) return 0;
  HANDLE snapshot = api.CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE || !snapshot) return 0;
  DWORD found = 0;
  PROCESSENTRY32 entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = api.Process32First(snapshot, &entry); more; more = api.Process32Next(snapshot, &entry)) {
    ProcessFacts facts;
    facts.fullPath.assign(entry.szExeFile, strnlen(entry.szExeFile, sizeof entry.szExeFile));
    facts.fileName = FileNamePart(facts.fullPath);
    facts.shortPath = ShortForm(facts.fullPath);
    if (ProcessMatches(facts, path, wantedShort, strict)) found = entry.th32ProcessID;  // the last one wins
  }
  CloseHandle(snapshot);
  return found;
}

DWORD FindProcess(const std::string& path, bool strict) {
  if (path.empty()) return 0;
  const std::string wantedShort = ShortForm(path);
  return UsePsapi() ? FindThroughPsapi(path, wantedShort, strict) : FindThroughToolHelp(path, wantedShort, strict);
}

bool IsProcessRunning(const std::string& path) { return FindProcess(UnquoteTrim(path), false) != 0; }

void WaitForProcessEnd(const std::string& pathIn, unsigned timeoutMs) {
  const std::string path = UnquoteTrim(pathIn);
  const DWORD start = GetTickCount();
  auto timeUp = [&] { return timeoutMs != 0 && GetTickCount() - start > timeoutMs; };
  WaitPumping(0, 1000);
  if (UsePsapi()) {
    const DWORD id = FindProcess(path, false);
    if (!id) return;
    do {
      WaitPumping(0, 1000);
      const std::vector<DWORD> ids = ListedProcessIds();
      if (std::find(ids.begin(), ids.end(), id) == ids.end()) return;
    } while (!timeUp());
  } else {
    do {
      WaitPumping(0, 1000);
    } while (!timeUp() && IsProcessRunning(path));
  }
}

// The input-method windows the system gives every thread with windows: hidden and titled
// ("Default IME"), they would tie with a program's hidden main window, and Wine makes them
// without an owner.
static bool IsSystemImeWindow(HWND window) {
  char name[32] = {};
  GetClassNameA(window, name, sizeof name);
  return !lstrcmpiA(name, "IME") || !lstrcmpiA(name, "MSCTFIME UI");
}

static BOOL CALLBACK CollectWindow(HWND window, LPARAM param) {
  TAnalizer* analizer = reinterpret_cast<TAnalizer*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == analizer->ProcessId && !IsSystemImeWindow(window)) {
    analizer->Windows.push_back(window);
    ++analizer->Count;
  }
  return TRUE;
}

void TAnalizer::Collect() {
  Windows.clear();
  Count = 0;
  EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(this));
}

void TAnalizer::Score() {
  std::vector<WindowFacts> facts;
  facts.reserve(Windows.size());
  for (HWND window : Windows) {
    WindowFacts f;
    f.handle = reinterpret_cast<uintptr_t>(window);
    for (HWND owner = GetWindow(window, GW_OWNER); owner; owner = GetWindow(owner, GW_OWNER))
      f.rootOwner = reinterpret_cast<uintptr_t>(owner);
    f.titled = !WindowText(window).empty();
    f.visible = IsWindowVisible(window) != FALSE;
    facts.push_back(f);
  }
  Scores = ScoreWindows(facts);
}

HWND TAnalizer::MainWindow() const {
  const int best = ChooseMainWindow(Scores);
  return best < 0 ? nullptr : Windows[static_cast<size_t>(best)];
}

HWND FindMainWindow(const std::string& path, bool strict) {
  const DWORD id = FindProcess(path, strict);
  if (!id) return nullptr;
  TAnalizer analizer(id);
  analizer.Collect();
  analizer.Score();
  return analizer.MainWindow();
}

bool PostProcessMessage(const std::string& path, UINT message, WPARAM wParam, LPARAM lParam) {
  HWND window = FindMainWindow(path, true);
  return window && PostMessageA(window, message, wParam, lParam);
}

bool TerminateProcessByPath(const std::string& path) {
  const DWORD id = FindProcess(path, true);
  if (!id) return false;
  HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, id);
  if (!process) return false;
  const bool done = TerminateProcess(process, 0) != FALSE;
  CloseHandle(process);
  return done;
}

}  // namespace stub
