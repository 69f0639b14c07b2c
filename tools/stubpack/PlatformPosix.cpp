#include <fcntl.h>
#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "Platform.h"

namespace stubpack {

void InitConsole() {}

std::vector<std::string> Arguments(int argc, char** argv) { return std::vector<std::string>(argv, argv + argc); }

bool IsTerminal(std::FILE* stream) { return isatty(fileno(stream)) != 0; }

void WriteStdout(const std::string& bytes) { std::fwrite(bytes.data(), 1, bytes.size(), stdout); }

static std::string CodePageName(int codePage) { return "CP" + std::to_string(codePage); }

bool CodePageSupported(int codePage) {
  iconv_t cd = iconv_open(CodePageName(codePage).c_str(), "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  iconv_close(cd);
  return true;
}

// Runs iconv over the whole text; on a byte it cannot convert, either fails or (with
// replacement) writes "?" and skips the byte.
static bool Convert(const char* to, const char* from, const std::string& in, std::string& out, bool replace) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  out.clear();
  char* src = const_cast<char*>(in.data());
  size_t srcLeft = in.size();
  bool ok = true;
  while (srcLeft > 0) {
    char buffer[1024];
    char* dst = buffer;
    size_t dstLeft = sizeof buffer;
    size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    out.append(buffer, sizeof buffer - dstLeft);
    if (r == static_cast<size_t>(-1) && errno != E2BIG) {
      if (!replace) {
        ok = false;
        break;
      }
      out += '?';
      ++src;
      --srcLeft;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  iconv_close(cd);
  return ok;
}

bool ToCodePage(const std::string& utf8, int codePage, std::string& out) {
  return Convert(CodePageName(codePage).c_str(), "UTF-8", utf8, out, false);
}

std::string FromCodePage(const std::string& bytes, int codePage) {
  std::string out;
  if (!Convert("UTF-8", CodePageName(codePage).c_str(), bytes, out, true)) return bytes;
  return out;
}

bool ModifiedTime(const fs::path& path, int64_t& unixSeconds) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return false;
  unixSeconds = static_cast<int64_t>(st.st_mtime);
  return true;
}

bool SetModifiedTime(const fs::path& path, int64_t unixSeconds) {
  struct timespec times[2];
  times[0].tv_sec = times[1].tv_sec = static_cast<time_t>(unixSeconds);
  times[0].tv_nsec = times[1].tv_nsec = 0;
  return utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

stub::CivilTime LocalTimeOf(int64_t unixSeconds) {
  const time_t t = static_cast<time_t>(unixSeconds);
  struct tm parts {};
  localtime_r(&t, &parts);
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
  return static_cast<int64_t>(mktime(&parts));
}

std::FILE* OpenFile(const fs::path& path, const char* mode) { return std::fopen(path.c_str(), mode); }

bool SeekFile(std::FILE* file, int64_t offset) { return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0; }

}  // namespace stubpack
