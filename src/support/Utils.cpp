#include "support/Utils.h"

#include <windows.h>

#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "support/VDebug.h"

namespace stub {

typedef DWORD(WINAPI* GetFileVersionInfoSizeFn)(LPCSTR, LPDWORD);
typedef BOOL(WINAPI* GetFileVersionInfoFn)(LPCSTR, DWORD, DWORD, LPVOID);
typedef BOOL(WINAPI* VerQueryValueFn)(LPCVOID, LPCSTR, LPVOID*, PUINT);

// Milliseconds per performance-counter tick; 0 = not yet asked, negative = no counter.
static double g_msPerTick = 0;
// Vertical pixels per inch of the screen; 0 = not yet asked.
static int g_pixelsPerInch = 0;
// Developer-mode answer: -1 not yet asked, 0 no, 1 yes.
static int g_developerMode = -1;
// Number of the registered "QueryCancelAutoPlay" message while armed, else 0.
static UINT g_autoPlayMessage = 0;
// State of the random generator, stirred with fresh clock readings on every call.
static uint64_t g_randomState = 0;
// The version.dll entry points, looked up once (null when missing).
static bool g_versionLookedUp = false;
static GetFileVersionInfoSizeFn g_getVersionSize = nullptr;
static GetFileVersionInfoFn g_getVersionInfo = nullptr;
static VerQueryValueFn g_queryVersion = nullptr;

// Size of the buffers for INI values and registry data; a longer registry value is a failure.
static const DWORD kValueBufferSize = 10241;

// ---------------------------------------------------------------------------------------
// INI files

std::string ReadIniString(const std::string& file, const std::string& section, const std::string& key,
                          const std::string& def) {
  if (section.empty()) return def;
  std::vector<char> buffer(kValueBufferSize, '\0');
  DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), def.c_str(), buffer.data(), kValueBufferSize,
                                     file.c_str());
  // An empty value counts as absent: callers get their default for "Key=".
  if (n > 0) return std::string(buffer.data(), n);
  return def;
}

int64_t ReadIniInt(const std::string& file, const std::string& section, const std::string& key, int64_t def) {
  return ToInt64(ReadIniString(file, section, key, IntText(def)), def);
}

bool WriteIniString(const std::string& file, const std::string& section, const std::string& key,
                    const std::string& value) {
  return WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), file.c_str()) != FALSE;
}

bool WriteIniInt(const std::string& file, const std::string& section, const std::string& key, int64_t value) {
  return WriteIniString(file, section, key, IntText(value));
}

// ---------------------------------------------------------------------------------------
// Registry

HKEY RegRootFromName(const std::string& name) {
  std::string n = UpperCase(name);
  HKEY root = HKEY_CURRENT_USER;
  if (n == "HKEY_CLASSES_ROOT" || n == "HKCR") root = HKEY_CLASSES_ROOT;
  if (n == "HKEY_CURRENT_USER" || n == "HKCU") root = HKEY_CURRENT_USER;
  if (n == "HKEY_LOCAL_MACHINE" || n == "HKLM") root = HKEY_LOCAL_MACHINE;
  if (n == "HKEY_USERS" || n == "HKU") root = HKEY_USERS;
  if (n == "HKEY_CURRENT_CONFIG" || n == "HKCC") root = HKEY_CURRENT_CONFIG;
  if (n == "HKEY_DYN_DATA" || n == "HKDD") root = HKEY_DYN_DATA;
  return root;
}

void SplitRegPath(const std::string& path, HKEY& root, std::string& subKey) {
  std::string p = Trim(path);
  root = HKEY_CURRENT_USER;
  subKey = p;
  if (!StartsWithText("HK", p, true)) return;
  size_t slash = p.find('\\');
  if (slash == std::string::npos) {
    root = RegRootFromName(p);
    subKey.clear();
  } else {
    root = RegRootFromName(p.substr(0, slash));
    subKey = p.substr(slash + 1);
  }
}

// Registry data as the text the callers compare and display.
static std::string RegDataText(DWORD type, const BYTE* data, DWORD size) {
  const char* chars = reinterpret_cast<const char*>(data);
  if (type == REG_DWORD && size == 4) {
    DWORD value;
    std::memcpy(&value, data, 4);
    return Format("%lu", static_cast<unsigned long>(value));
  }
  if (type == REG_MULTI_SZ && size > 2) {
    // ReplaceText is not used here: <windows.h> turns that name into a dialog function.
    size_t end = size;
    while (end > 0 && chars[end - 1] == '\0') --end;
    std::string text;
    for (size_t i = 0; i < end; ++i) {
      if (chars[i] == '\0') text += "<0>";
      else text += chars[i];
    }
    return text;
  }
  return std::string(chars, strnlen(chars, size));
}

std::string ReadRegString(const std::string& path, const std::string& valueName, const std::string& def,
                          bool view64) {
  HKEY root;
  std::string subKey;
  SplitRegPath(path, root, subKey);
  HKEY key;
  REGSAM access = view64 ? 0x20119 : 0x20019;  // KEY_READ, with KEY_WOW64_64KEY for the 64-bit view
  if (RegOpenKeyExA(root, subKey.c_str(), 0, access, &key) != ERROR_SUCCESS) return def;
  std::string result = def;
  std::vector<BYTE> buffer(kValueBufferSize, 0);
  DWORD type = 0, size = kValueBufferSize;
  if (RegQueryValueExA(key, valueName.c_str(), nullptr, &type, buffer.data(), &size) == ERROR_SUCCESS &&
      size <= kValueBufferSize)
    result = RegDataText(type, buffer.data(), size);
  RegCloseKey(key);
  return result;
}

static std::string CurrentVersionKey() {
  return IsWinNT() ? "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion"
                   : "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
}

std::string GetRegisteredOwner() {
  return Trim(ReadRegString(CurrentVersionKey(), "RegisteredOwner", CurrentUserName(), RegView64Default));
}

std::string GetRegisteredOrganization() {
  return Trim(ReadRegString(CurrentVersionKey(), "RegisteredOrganization", "", RegView64Default));
}

// ---------------------------------------------------------------------------------------
// Waiting with the windows alive

void PumpMessages() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    // A quit request belongs to the main message loop: put it back and stop serving, or the
    // program would never end.
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

double MillisecondCounter() {
  if (g_msPerTick == 0) {
    LARGE_INTEGER frequency;
    g_msPerTick = QueryPerformanceFrequency(&frequency) && frequency.QuadPart > 0
                      ? 1000.0 / static_cast<double>(frequency.QuadPart)
                      : -1;
  }
  LARGE_INTEGER counter;
  if (g_msPerTick < 0 || !QueryPerformanceCounter(&counter)) return static_cast<double>(GetTickCount());
  return std::round(static_cast<double>(counter.QuadPart) * g_msPerTick);
}

void WaitPumping(unsigned interval, unsigned duration) {
  if (interval == 0) {
    interval = duration / 10;
    if (interval < 1) interval = 1;
    if (interval > 25) interval = 25;
  }
  double start = MillisecondCounter();
  do {
    PumpMessages();
    Sleep(interval);
  } while (MillisecondCounter() - start < duration);
}

void WaitWhileWindowExists(const std::string& className, const std::string& title) {
  const char* name = title.empty() ? nullptr : title.c_str();
  while (FindWindowA(className.c_str(), name)) WaitPumping(0, 100);
}

// ---------------------------------------------------------------------------------------
// The program and the system

std::string FileVersionText(const std::string& path) {
  // version.dll is bound at run time so that the stub imports only the core system libraries.
  if (!g_versionLookedUp) {
    g_getVersionSize = LoadProcAs<GetFileVersionInfoSizeFn>("version.dll", "GetFileVersionInfoSizeA");
    g_getVersionInfo = LoadProcAs<GetFileVersionInfoFn>("version.dll", "GetFileVersionInfoA");
    g_queryVersion = LoadProcAs<VerQueryValueFn>("version.dll", "VerQueryValueA");
    g_versionLookedUp = true;
  }
  if (!g_getVersionSize || !g_getVersionInfo || !g_queryVersion) return std::string();
  std::string file = path.empty() ? ExeFileName(false) : path;
  DWORD handle = 0;
  DWORD size = g_getVersionSize(file.c_str(), &handle);
  if (size == 0) return std::string();
  std::vector<BYTE> data(size, 0);
  if (!g_getVersionInfo(file.c_str(), 0, size, data.data())) return std::string();
  void* fixed = nullptr;
  UINT fixedSize = 0;
  char root[] = "\\";
  if (!g_queryVersion(data.data(), root, &fixed, &fixedSize) || !fixed || fixedSize < sizeof(VS_FIXEDFILEINFO))
    return std::string();
  const VS_FIXEDFILEINFO* info = static_cast<const VS_FIXEDFILEINFO*>(fixed);
  return Format("%d.%d.%d.%d", static_cast<int>(HIWORD(info->dwFileVersionMS)),
                static_cast<int>(LOWORD(info->dwFileVersionMS)), static_cast<int>(HIWORD(info->dwFileVersionLS)),
                static_cast<int>(LOWORD(info->dwFileVersionLS)));
}

bool IsWinNT() {
  OSVERSIONINFOA info;
  std::memset(&info, 0, sizeof info);
  info.dwOSVersionInfoSize = sizeof info;
  return GetVersionExA(&info) && info.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

std::string ExeFileName(bool stripExt) {
  std::vector<char> buffer(MAX_PATH + 1, '\0');
  for (;;) {
    DWORD n = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return std::string();
    if (n < buffer.size()) {
      std::string path(buffer.data(), n);
      return stripExt ? NameWithoutExt(path, false) : path;
    }
    if (buffer.size() >= 32768) return std::string();
    buffer.resize(buffer.size() * 2);
  }
}

std::string ExeFolder(bool withSlash) { return FolderSlash(FolderPart(ExeFileName(false)), withSlash); }

// Fills a 261-character buffer through one of the system's folder queries; empty on failure.
template <class Query>
static std::string SystemPath(Query query, bool withSlash) {
  char buffer[MAX_PATH + 1] = {};
  UINT n = query(buffer, sizeof buffer);
  if (n == 0 || n >= sizeof buffer) return std::string();
  return FolderSlash(std::string(buffer, n), withSlash);
}

std::string WindowsFolder(bool withSlash) {
  return SystemPath([](char* b, UINT size) { return GetWindowsDirectoryA(b, size); }, withSlash);
}

std::string SystemFolder(bool withSlash) {
  return SystemPath([](char* b, UINT size) { return GetSystemDirectoryA(b, size); }, withSlash);
}

std::string TempFolder(bool withSlash) {
  return SystemPath([](char* b, UINT size) { return static_cast<UINT>(GetTempPathA(size, b)); }, withSlash);
}

std::string CurrentUserName() {
  char buffer[256] = {};
  DWORD size = sizeof buffer;
  if (!GetUserNameA(buffer, &size)) return std::string();
  return Trim(std::string(buffer, strnlen(buffer, sizeof buffer)));
}

std::string CurrentComputerName() {
  char buffer[256] = {};
  DWORD size = sizeof buffer;
  if (!GetComputerNameA(buffer, &size)) return std::string();
  return Trim(std::string(buffer, strnlen(buffer, sizeof buffer)));
}

std::string CurrentUserDomain() {
  std::string user = CurrentUserName();
  if (user.empty()) return std::string();
  DWORD sidSize = 0, domainSize = 0;
  SID_NAME_USE use;
  LookupAccountNameA(nullptr, user.c_str(), nullptr, &sidSize, nullptr, &domainSize, &use);
  if (sidSize == 0 || domainSize == 0) return std::string();
  std::vector<BYTE> sid(sidSize, 0);
  std::vector<char> domain(domainSize + 1, '\0');
  if (!LookupAccountNameA(nullptr, user.c_str(), sid.data(), &sidSize, domain.data(), &domainSize, &use))
    return std::string();
  return std::string(domain.data(), strnlen(domain.data(), domain.size()));
}

std::string SysErrorText() {
  DWORD code = GetLastError();
  char* message = nullptr;
  DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                               FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, code, 0, reinterpret_cast<LPSTR>(&message), 0, nullptr);
  std::string text;
  if (n > 0 && message) text = TrimRight(std::string(message, n));
  if (message) LocalFree(message);
  if (text.empty()) text = "Error Reading \"SysUtils.SysErrorMessage(GetLastError)\"";
  return text;
}

std::string WindowText(HWND window) {
  if (!window) return std::string();
  char buffer[1025] = {};
  int n = GetWindowTextA(window, buffer, sizeof buffer);
  return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

POINT CentreOnWorkArea(int width, int height) {
  RECT area;
  if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0)) {
    area.left = area.top = 0;
    area.right = GetSystemMetrics(SM_CXSCREEN);
    area.bottom = GetSystemMetrics(SM_CYSCREEN);
  }
  POINT p;
  p.x = area.left + (area.right - area.left - width) / 2;
  p.y = area.top + (area.bottom - area.top - height) / 2;
  return p;
}

int PointsToPixels(int points) {
  if (g_pixelsPerInch == 0) {
    HDC dc = GetDC(nullptr);
    int ppi = dc ? GetDeviceCaps(dc, LOGPIXELSY) : 0;
    if (dc) ReleaseDC(nullptr, dc);
    if (ppi <= 0) return MulDiv(points, 96, 72);  // no screen yet: assume the usual 96, ask again later
    g_pixelsPerInch = ppi;
  }
  return MulDiv(points, g_pixelsPerInch, 72);
}

bool RunShell(const std::string& file, const std::string& parameters, int show) {
  HINSTANCE result = ShellExecuteA(GetDesktopWindow(), nullptr, file.c_str(),
                                   parameters.empty() ? nullptr : parameters.c_str(), nullptr, show);
  return reinterpret_cast<INT_PTR>(result) > 32;
}

FARPROC LoadProc(const std::string& library, const std::string& name) {
  // A bare name is a system library's: it is taken from the system folder only.
  HMODULE module = library.find('\\') == std::string::npos ? LoadFromSystemFolder(library)
                                                            : LoadLibraryA(library.c_str());
  if (reinterpret_cast<UINT_PTR>(module) <= 32) return nullptr;
  return GetProcAddress(module, name.c_str());
}

HMODULE LoadFromSystemFolder(const std::string& fileName) {
  std::string folder = SystemFolder(true);
  if (folder.empty()) return nullptr;
  // The libraries it needs in turn are looked for beside it first, not beside the program.
  HMODULE module = LoadLibraryExA((folder + fileName).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  return reinterpret_cast<UINT_PTR>(module) > 32 ? module : nullptr;
}

// splitmix64: small, fast and good enough for keys and folder-name suffixes.
static uint64_t NextRandom() {
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  g_randomState ^= static_cast<uint64_t>(counter.QuadPart) ^ (static_cast<uint64_t>(GetCurrentProcessId()) << 32) ^
                   GetTickCount();
  uint64_t z = (g_randomState += 0x9E3779B97F4A7C15ULL);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

int64_t RandomInRange(int64_t low, int64_t high) {
  if (high <= low) return low;
  uint64_t span = static_cast<uint64_t>(high) - static_cast<uint64_t>(low) + 1;  // 0: the full 64-bit range
  uint64_t value = NextRandom();
  if (span != 0) {
    // Draw again past the last whole multiple of span so every value is equally likely.
    uint64_t limit = UINT64_MAX - UINT64_MAX % span;
    while (value >= limit) value = NextRandom();
    value %= span;
  }
  return static_cast<int64_t>(static_cast<uint64_t>(low) + value);
}

std::string RandomInRangeText(int64_t low, int64_t high) { return IntText(RandomInRange(low, high)); }

void AutoPlayMessage(bool enable) { g_autoPlayMessage = enable ? RegisterWindowMessageA("QueryCancelAutoPlay") : 0; }

UINT AutoPlayMessageId() { return g_autoPlayMessage; }

bool DeveloperMode() {
  if (g_developerMode < 0) {
    char value[8] = {};
    DWORD n = GetEnvironmentVariableA("DVX", value, sizeof value);
    g_developerMode = (n == 3 && std::strcmp(value, "731") == 0) ? 1 : 0;
  }
  return g_developerMode == 1;
}

// ---------------------------------------------------------------------------------------
// Local time

CivilTime CivilFromSystemTime(const SYSTEMTIME& st) {
  CivilTime t;
  t.year = st.wYear;
  t.month = st.wMonth;
  t.day = st.wDay;
  t.hour = st.wHour;
  t.minute = st.wMinute;
  t.second = st.wSecond;
  t.millisecond = st.wMilliseconds;
  return t;
}

CivilTime LocalNow() {
  SYSTEMTIME st;
  GetLocalTime(&st);
  return CivilFromSystemTime(st);
}

static char LocaleChar(LCTYPE item, char fallback) {
  char buffer[8] = {};
  return GetLocaleInfoA(LOCALE_USER_DEFAULT, item, buffer, sizeof buffer) > 1 ? buffer[0] : fallback;
}

char DateSeparator() { return LocaleChar(LOCALE_SDATE, '/'); }

char TimeSeparator() { return LocaleChar(LOCALE_STIME, ':'); }

}  // namespace stub
