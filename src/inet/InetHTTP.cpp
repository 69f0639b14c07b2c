#include <windows.h>
#include <wininet.h>

#include "inet/InetHTTP.h"
#include "inet/DownloadPace.h"
#include "inet/HttpText.h"
#include "support/Files.h"
#include "support/Utils.h"
#include "support/VDebug.h"

namespace stub {

namespace {

// The library and its entry points, bound on first need: the whole of WinINet is reached
// through these, so a system without it fails each call instead of refusing to start us.
struct WinInetApi {
  HMODULE library = nullptr;
  bool bound = false;  // the entry points below were looked up (found or not)
  decltype(&::InternetGetConnectedState) getConnectedState = nullptr;
  decltype(&::InternetCloseHandle) closeHandle = nullptr;
  decltype(&::InternetOpenA) open = nullptr;
  decltype(&::InternetOpenUrlA) openUrl = nullptr;
  decltype(&::HttpQueryInfoA) queryInfo = nullptr;
  decltype(&::InternetReadFile) readFile = nullptr;
  decltype(&::InternetSetOptionA) setOption = nullptr;
  decltype(&::InternetGetLastResponseInfoA) lastResponseInfo = nullptr;
};

}  // namespace

// WinINet once loaded; freed by UnloadInternetLibrary.
static WinInetApi g_api;
// The test's connection state in place of the library's, or null.
static ConnectedStateFunction g_connectedStateForTesting = nullptr;
// The pace of the transfer that runs, null between transfers (see PacedTransfer).
static PaceClock* g_pace = nullptr;

template <class Function>
static void Bind(Function& target, const char* name) {
  target = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(g_api.library, name)));
}

// True when the calls every transfer needs are there.
static bool BindWinInet() {
  if (!g_api.bound) {
    g_api.library = LoadFromSystemFolder("WinINet.dll");
    if (g_api.library) {
      Bind(g_api.getConnectedState, "InternetGetConnectedState");
      Bind(g_api.closeHandle, "InternetCloseHandle");
      Bind(g_api.open, "InternetOpenA");
      Bind(g_api.openUrl, "InternetOpenUrlA");
      Bind(g_api.queryInfo, "HttpQueryInfoA");
      Bind(g_api.readFile, "InternetReadFile");
      Bind(g_api.setOption, "InternetSetOptionA");
      Bind(g_api.lastResponseInfo, "InternetGetLastResponseInfoA");
    }
    g_api.bound = true;
  }
  return g_api.closeHandle && g_api.open && g_api.openUrl && g_api.queryInfo && g_api.readFile;
}

void UnloadInternetLibrary() {
  if (g_api.library) FreeLibrary(g_api.library);
  g_api = WinInetApi();
}

void SetConnectedStateForTesting(ConnectedStateFunction function) { g_connectedStateForTesting = function; }

bool IsInternetConnected(std::string& errorText) {
  DWORD flags = 0;
  BOOL connected = FALSE;
  if (g_connectedStateForTesting)
    connected = g_connectedStateForTesting(&flags, 0);
  else if (BindWinInet() && g_api.getConnectedState)
    connected = g_api.getConnectedState(&flags, 0);
  if (!connected) errorText = SysErrorText();
  return connected != FALSE;
}

bool IsInternetConnected() {
  std::string ignored;
  return IsInternetConnected(ignored);
}

// The system's text for the last error, WinINet's own codes included; "" when there is none.
static std::string LastErrorMessage() {
  DWORD code = GetLastError();
  if (code == 0) return std::string();
  DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
  if (g_api.library) flags |= FORMAT_MESSAGE_FROM_HMODULE;
  char* message = nullptr;
  DWORD n = FormatMessageA(flags, g_api.library, code, 0, reinterpret_cast<LPSTR>(&message), 0, nullptr);
  std::string text;
  if (n > 0 && message) text = Trim(std::string(message, n));
  if (message) LocalFree(message);
  return text;
}

// Why a read failed: the system's text, else the server's last response.
static std::string ReadFailureReason() {
  std::string reason = LastErrorMessage();
  if (reason.empty() && g_api.lastResponseInfo) {
    char buffer[1024] = {};
    DWORD error = 0, size = sizeof buffer;
    if (g_api.lastResponseInfo(&error, buffer, &size) && size > 0 && size < sizeof buffer)
      reason = Trim(std::string(buffer, size));
  }
  return reason;
}

static HINTERNET OpenInternet(const char* agent) {
  if (!BindWinInet()) return nullptr;
  return g_api.open(agent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
}

// The announced length, -1 when the server gives none.
static int32_t QueryLength(HINTERNET request) {
  DWORD length = 0xFFFFFFFF, size = sizeof length;
  if (!g_api.queryInfo(request, HTTP_QUERY_FLAG_NUMBER | HTTP_QUERY_CONTENT_LENGTH, &length, &size, nullptr))
    return -1;
  return static_cast<int32_t>(length);
}

// The Last-Modified header as a DOS date-time, 0 when absent or invalid.
static uint32_t QueryFileDate(HINTERNET request) {
  SYSTEMTIME time;
  ZeroMemory(&time, sizeof time);
  DWORD size = sizeof time;
  if (!g_api.queryInfo(request, HTTP_QUERY_FLAG_SYSTEMTIME | HTTP_QUERY_LAST_MODIFIED, &time, &size, nullptr))
    return 0;
  return DosFileDate(CivilFromSystemTime(time));
}

int32_t HTTP_GetFileSize(const std::string& url) {
  // A first request whose answer is dropped: it lets a dial-up line or a proxy come up before
  // the request that counts.
  if (HINTERNET internet = OpenInternet("HTTP_Connect_2")) {
    if (HINTERNET request = g_api.openUrl(internet, url.c_str(), nullptr, 0, 0, 0)) g_api.closeHandle(request);
    g_api.closeHandle(internet);
  }
  HINTERNET internet = OpenInternet("HTTP_Connect_2");
  if (!internet) return -1;
  int32_t length = -1;
  if (HINTERNET request = g_api.openUrl(internet, url.c_str(), nullptr, 0, 0, 0)) {
    length = QueryLength(request);
    DebugLine("HTTP_GetFileSize=" + IntText(length) + "  " + url);
    g_api.closeHandle(request);
  }
  g_api.closeHandle(internet);
  return length;
}

// Three minutes for every phase; receive and send are set twice, as they always were.
static void SetDownloadTimeouts(HINTERNET internet) {
  if (!g_api.setOption) return;
  static const DWORD kOptions[] = {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT,
                                   INTERNET_OPTION_SEND_TIMEOUT,    INTERNET_OPTION_RECEIVE_TIMEOUT,
                                   INTERNET_OPTION_SEND_TIMEOUT,    INTERNET_OPTION_DATA_RECEIVE_TIMEOUT,
                                   INTERNET_OPTION_DATA_SEND_TIMEOUT};
  for (DWORD option : kOptions) {
    DWORD timeout = 180000;
    g_api.setOption(internet, option, &timeout, sizeof timeout);
  }
}

namespace {

// Raises the system timer to 1 ms while it lives, so that the waits of a transfer end close
// to their deadlines: on a default Windows tick of 15.6 ms the pace could only be kept in
// bursts.
class FineTimer {
 public:
  FineTimer() {
    typedef UINT(WINAPI * PeriodFunction)(UINT);
    begin_ = LoadProcAs<PeriodFunction>("winmm.dll", "timeBeginPeriod");
    end_ = LoadProcAs<PeriodFunction>("winmm.dll", "timeEndPeriod");
    raised_ = begin_ && end_ && begin_(1) == 0;
  }
  ~FineTimer() {
    if (raised_) end_(1);
  }
  FineTimer(const FineTimer&) = delete;
  FineTimer& operator=(const FineTimer&) = delete;

 private:
  UINT(WINAPI* begin_)(UINT) = nullptr;
  UINT(WINAPI* end_)(UINT) = nullptr;
  bool raised_ = false;
};

// Milliseconds of the performance counter, unrounded: the pace works in fractions of them.
static double PreciseMilliseconds() {
  static double msPerTick = 0;
  LARGE_INTEGER counter;
  if (msPerTick == 0) {
    LARGE_INTEGER frequency;
    msPerTick = QueryPerformanceFrequency(&frequency) && frequency.QuadPart > 0
                    ? 1000.0 / static_cast<double>(frequency.QuadPart)
                    : -1;
  }
  if (msPerTick < 0 || !QueryPerformanceCounter(&counter)) return static_cast<double>(GetTickCount());
  return static_cast<double>(counter.QuadPart) * msPerTick;
}

// A wait of the running transfer: serves the thread's messages at least once, then sleeps
// until the pace's deadline.
static void PacedWait(unsigned milliseconds) {
  const double now = PreciseMilliseconds();
  const double until = now + g_pace->Advance(now, milliseconds);
  PumpMessages();
  while (PreciseMilliseconds() < until) {
    Sleep(1);
    PumpMessages();
  }
}

// The progress bar's waits during a transfer; a wait of 0 sleeps 1 ms, as WaitPumping does.
static void PacedBarWait(unsigned milliseconds) { PacedWait(milliseconds ? milliseconds : 1); }

// For the life of a transfer, the wait before every read and the waits of a progress bar
// that waits at all keep one pace, so the download goes at the rate those waits allow
// whatever the system's sleep granularity.
class PacedTransfer {
 public:
  PacedTransfer() : outerPace_(g_pace), outerBarWait_(ProgBarWait()) {
    g_pace = &clock_;
    if (outerBarWait_) SetProgBarWait(PacedBarWait);
  }
  ~PacedTransfer() {
    if (outerBarWait_) SetProgBarWait(outerBarWait_);
    g_pace = outerPace_;
  }
  PacedTransfer(const PacedTransfer&) = delete;
  PacedTransfer& operator=(const PacedTransfer&) = delete;

 private:
  PaceClock clock_;
  PaceClock* outerPace_;
  ProgressWait outerBarWait_;
};

// Reads from an open request into the temporary file (reopened for every chunk, so nothing
// is held open across the message pump) or into memory.
class WinInetChannel : public DownloadChannel {
 public:
  WinInetChannel(HINTERNET request, const std::string& tempPath, std::string* data)
      : request_(request), tempPath_(tempPath), data_(data) {}
  void Pause() override { PacedWait(2); }
  bool Read(char* buffer, uint32_t size, uint32_t& got) override {
    DWORD n = 0;
    if (!g_api.readFile(request_, buffer, size, &n)) {
      reason_ = ReadFailureReason();
      return false;
    }
    got = n;
    return true;
  }
  bool Store(const char* bytes, uint32_t size) override {
    if (data_) return KeepInMemory(*data_, bytes, size, reason_);
    if (AppendToFile(tempPath_, std::string(bytes, size), 0)) return true;
    reason_ = LastErrorMessage();
    return false;
  }
  std::string FailureReason() override { return reason_; }

 private:
  HINTERNET request_;
  std::string tempPath_;
  std::string* data_;
  std::string reason_;
};

}  // namespace

// Deletes the temporary files of earlier downloads of destination, whatever length they were
// named after, and nothing else: "Product.*" would also match Product.exe.
static void DeleteTempDownloads(const std::string& destination) {
  const std::string folder = FolderPart(destination), name = FileNamePart(destination);
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA((destination + ".*").c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && IsTempDownloadName(name, entry.cFileName))
      DeleteFileA((folder + entry.cFileName).c_str());
  } while (FindNextFileA(search, &entry));
  FindClose(search);
}

// Steps 6 to 9 for an opened request of a known (or absent, -1) non-zero length.
static std::string Transfer(HWND window, HINTERNET request, const std::string& destination, int32_t length,
                            uint32_t fileDate, const std::string& remoteName, TProgBar* bar, std::string& data) {
  if (reinterpret_cast<UINT_PTR>(window) > 10) ShowWindow(window, SW_SHOW);
  std::string tempPath;
  if (!destination.empty()) {
    tempPath = TempDownloadPath(destination, length, fileDate);
    DeleteTempDownloads(destination);
  }
  if (destination.empty() && !MemoryLimitReason(length).empty())
    return TransferFailureText(remoteName, MemoryLimitReason(length));
  DownloadOutcome outcome;
  {
    FineTimer fineTimer;
    PacedTransfer pace;
    WinInetChannel channel(request, tempPath, destination.empty() ? &data : nullptr);
    outcome = RunDownloadLoop(channel, length, remoteName, bar);
  }
  std::string errorText = outcome.errorText;
  if (destination.empty()) {
    // Without a length nobody can tell a cut body from a whole one; with one, a short body
    // must not pass for the file.
    std::string reason = length == -1 ? std::string() : IncompleteReason(length, outcome.received);
    if (errorText.empty() && !reason.empty()) errorText = TransferFailureText(remoteName, reason);
    return errorText;
  }
  const int64_t expected = static_cast<uint32_t>(length);
  if (FileSizeByName(tempPath) == expected) {
    DeleteFileA(destination.c_str());
    if (!MoveFileA(tempPath.c_str(), destination.c_str()) && errorText.empty())
      errorText = TransferFailureText(remoteName, LastErrorMessage());
  } else if (errorText.empty()) {
    // The temporary file stays for a look, but the caller must not take the destination
    // (missing, or an older file) for the download.
    errorText = TransferFailureText(remoteName, IncompleteReason(length, outcome.received));
  }
  return errorText;
}

bool HTTP_DownloadFile_Incremental(HWND window, const std::string& url, const std::string& destination,
                                   std::string& errorText, TProgBar* bar, std::string& data) {
  const std::string remoteName = RemoteFileName(url);
  errorText.clear();
  data.clear();
  HINTERNET internet = OpenInternet("HTTP_Connect_3");
  if (!internet) {
    errorText = InitFailureText();
  } else {
    SetDownloadTimeouts(internet);
    const std::string address = DownloadAddress(url);
    HINTERNET request = g_api.openUrl(internet, address.c_str(), nullptr, 0, INTERNET_FLAG_RELOAD, 0);
    if (!request) {
      errorText = OpenFailureText(address);
    } else {
      int32_t length = QueryLength(request);
      uint32_t fileDate = QueryFileDate(request);
      if (length == 0)
        errorText = NotFoundText(address);
      else
        errorText = Transfer(window, request, destination, length, fileDate, remoteName, bar, data);
      g_api.closeHandle(request);
    }
    g_api.closeHandle(internet);
  }
  if (!errorText.empty()) DebugPidLine(" HTTP_DownloadFile_Incremental: " + errorText);
  return errorText.empty();
}

std::string CheckErrorPage(const std::string& file, const std::string& content, const std::string& url,
                           bool iisHint, const std::string& def) {
  std::string text = content;
  if (!file.empty() && FileExists(file)) text = ReadFilePart(file, 10000, 0);
  return ErrorPageMessage(text, url, iisHint, def);
}

}  // namespace stub
