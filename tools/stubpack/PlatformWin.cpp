#include <windows.h>
#include <shellapi.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <sys/utime.h>

#include <ctime>

#include "Platform.h"

namespace stubpack {

static std::wstring Wide(const std::string& text, UINT codePage, DWORD flags, bool& ok) {
  ok = true;
  if (text.empty()) return std::wstring();
  int n = MultiByteToWideChar(codePage, flags, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (n <= 0) {
    ok = false;
    return std::wstring();
  }
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(codePage, flags, text.data(), static_cast<int>(text.size()), &out[0], n);
  return out;
}

static std::string Narrow(const std::wstring& text, UINT codePage, bool strict, bool& ok) {
  ok = true;
  if (text.empty()) return std::string();
  BOOL usedDefault = FALSE;
  const DWORD flags = strict ? WC_NO_BEST_FIT_CHARS : 0;
  BOOL* used = strict ? &usedDefault : nullptr;
  int n = WideCharToMultiByte(codePage, flags, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, used);
  if (n <= 0) {
    ok = false;
    return std::string();
  }
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(codePage, flags, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr, used);
  if (usedDefault) ok = false;
  return out;
}

void InitConsole() { SetConsoleOutputCP(CP_UTF8); }

std::vector<std::string> Arguments(int, char**) {
  std::vector<std::string> args;
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  for (int i = 0; i < count; ++i) {
    bool ok;
    args.push_back(Narrow(wide[i], CP_UTF8, false, ok));
  }
  LocalFree(wide);
  return args;
}

bool IsTerminal(std::FILE* stream) { return _isatty(_fileno(stream)) != 0; }

void WriteStdout(const std::string& bytes) {
  std::fflush(stdout);
  _setmode(_fileno(stdout), _O_BINARY);
  std::fwrite(bytes.data(), 1, bytes.size(), stdout);
  std::fflush(stdout);
}

bool CodePageSupported(int codePage) { return codePage != CP_UTF8 && IsValidCodePage(static_cast<UINT>(codePage)); }

bool ToCodePage(const std::string& utf8, int codePage, std::string& out) {
  bool ok;
  std::wstring wide = Wide(utf8, CP_UTF8, MB_ERR_INVALID_CHARS, ok);
  if (!ok) return false;
  out = Narrow(wide, static_cast<UINT>(codePage), true, ok);
  return ok;
}

std::string FromCodePage(const std::string& bytes, int codePage) {
  bool ok;
  std::wstring wide = Wide(bytes, static_cast<UINT>(codePage), 0, ok);
  if (!ok) return bytes;
  return Narrow(wide, CP_UTF8, false, ok);
}

bool ModifiedTime(const fs::path& path, int64_t& unixSeconds) {
  struct _stat64 st;
  if (_wstat64(path.c_str(), &st) != 0) return false;
  unixSeconds = static_cast<int64_t>(st.st_mtime);
  return true;
}

bool SetModifiedTime(const fs::path& path, int64_t unixSeconds) {
  struct __utimbuf64 times;
  times.actime = times.modtime = static_cast<__time64_t>(unixSeconds);
  return _wutime64(path.c_str(), &times) == 0;
}

stub::CivilTime LocalTimeOf(int64_t unixSeconds) {
  const __time64_t t = static_cast<__time64_t>(unixSeconds);
  struct tm parts {};
  _localtime64_s(&parts, &t);
  stub::CivilTime c;
  c.year = parts.tm_year + 1900;
  c.month = parts.tm_mon + 1;
  c.day = parts.tm_mday;
  c.hour = parts.tm_hour;
  c.minute = parts.tm_min;
  c.second = parts.tm_sec;
  return c;
}

int64_t UnixTimeOfLocal(const stub::CivilTime& c) {
  struct tm parts {};
  parts.tm_year = c.year - 1900;
  parts.tm_mon = c.month - 1;
  parts.tm_mday = c.day;
  parts.tm_hour = c.hour;
  parts.tm_min = c.minute;
  parts.tm_sec = c.second;
  parts.tm_isdst = -1;
  return static_cast<int64_t>(_mktime64(&parts));
}

std::FILE* OpenFile(const fs::path& path, const char* mode) {
  bool ok;
  std::wstring wideMode = Wide(mode, CP_ACP, 0, ok);
  return _wfopen(path.c_str(), wideMode.c_str());
}

bool SeekFile(std::FILE* file, int64_t offset) { return _fseeki64(file, offset, SEEK_SET) == 0; }

}  // namespace stubpack
