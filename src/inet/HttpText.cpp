#include "inet/HttpText.h"

#include <cctype>
#include <initializer_list>

namespace stub {

// A scheme is a letter followed by letters, digits, "+", "-" or ".", closed by "://".
static bool BeginsWithScheme(const std::string& url) {
  size_t colon = url.find("://");
  if (colon == std::string::npos || colon == 0) return false;
  if (!std::isalpha(static_cast<unsigned char>(url[0]))) return false;
  for (size_t i = 1; i < colon; ++i) {
    unsigned char c = static_cast<unsigned char>(url[i]);
    if (!std::isalnum(c) && c != '+' && c != '-' && c != '.') return false;
  }
  return true;
}

std::string DownloadAddress(const std::string& url) {
  return BeginsWithScheme(url) ? url : "http://" + url;
}

std::string RemoteFileName(const std::string& url) {
  size_t slash = url.find_last_of("/\\");
  return slash == std::string::npos ? url : url.substr(slash + 1);
}

std::string TempDownloadPath(const std::string& destination, int32_t length, uint32_t fileDate) {
  uint32_t tag = static_cast<uint32_t>(length) + fileDate;
  return destination + "." + IntText(tag);
}

bool IsTempDownloadName(const std::string& destinationName, const std::string& fileName) {
  const size_t n = destinationName.size();
  if (fileName.size() < n + 2 || !SameText(fileName.substr(0, n), destinationName) || fileName[n] != '.') return false;
  for (size_t i = n + 1; i < fileName.size(); ++i)
    if (fileName[i] < '0' || fileName[i] > '9') return false;
  return true;
}

static bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

uint32_t DosFileDate(const CivilTime& t) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (t.year < 1980 || t.year > 2107 || t.month < 1 || t.month > 12) return 0;
  int days = kDays[t.month - 1] + (t.month == 2 && IsLeapYear(t.year) ? 1 : 0);
  if (t.day < 1 || t.day > days || t.hour < 0 || t.hour > 23 || t.minute < 0 || t.minute > 59 || t.second < 0 ||
      t.second > 59)
    return 0;
  uint32_t date = static_cast<uint32_t>(((t.year - 1980) << 9) | (t.month << 5) | t.day);
  uint32_t time = static_cast<uint32_t>((t.hour << 11) | (t.minute << 5) | (t.second / 2));
  return (date << 16) | time;
}

std::string InitFailureText() { return "Unable to initialize \"WinINet.dll\""; }

std::string OpenFailureText(const std::string& address) { return "Unable to open Internet Connection: " + address; }

std::string NotFoundText(const std::string& address) { return address + " --- File Not Found !"; }

std::string TransferFailureText(const std::string& remoteName, const std::string& reason) {
  std::string text = remoteName + " --- Error downloading file";
  if (!reason.empty()) text += " (" + reason + ")";
  return text;
}

std::string AbortedText() { return "Download Aborted"; }

// True when every needle occurs in content and their first occurrences come in the given order.
static bool InOrder(const std::string& content, std::initializer_list<const char*> needles) {
  size_t last = 0;
  for (const char* needle : needles) {
    size_t at = PosText(needle, content);
    if (at == 0 || at <= last) return false;
    last = at;
  }
  return true;
}

std::string ErrorPageMessage(const std::string& content, const std::string& url, bool iisHint,
                             const std::string& def) {
  bool titled404 = InOrder(content, {"<TITLE", "404", "</TITLE>"});
  bool htmlPage = InOrder(content, {"<HTML>", "<HEAD>", "<TITLE>", "</TITLE>"});
  if (!titled404 && !htmlPage) return def;
  std::string message = "<B>404 File Not Found...</B><P><P>URL:  " + url + "." +
                        "<P><P>Please make sure the file is available and access is allowed to this file.";
  if (iisHint && PosText("IIS", content) != 0)
    message += "<P><P>If you are using an IIS webserver you must define appropriate MIME-Types.";
  return message;
}

}  // namespace stub
