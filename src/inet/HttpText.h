// The texts and names of an HTTP download that need no system calls: the address actually
// opened, the remote file name, the temporary file beside the destination, the file date of
// a Last-Modified header, the error texts, and the recognition of an HTML error page.
#pragma once

#include <cstdint>
#include <string>

#include "support/Text.h"

namespace stub {

// The address to open: left alone when it begins with a scheme ("http://", "HTTPS://",
// "ftp://" ...), else "http://" goes in front.
std::string DownloadAddress(const std::string& url);

// The part of url after its last "/" (or "\"); the whole url when it has neither.
std::string RemoteFileName(const std::string& url);

// destination + "." + the decimal value of length + fileDate, added as unsigned 32-bit
// numbers, so a changed file on the server gets a fresh temporary name.
std::string TempDownloadPath(const std::string& destination, int32_t length, uint32_t fileDate);
// True when fileName (a name in the destination's folder) is one of the destination's
// temporary files: its name, ".", and digits only. The destination itself and files that
// merely share its name ("Product.info.bak" beside "Product.info") are not.
bool IsTempDownloadName(const std::string& destinationName, const std::string& fileName);

// The packed DOS date-time (date in the high 16 bits) of a broken-down time, taken as it
// is; 0 when the time is not a valid date between 1980 and 2107.
uint32_t DosFileDate(const CivilTime& time);

// The error texts the download reports to its callers (and they to the user).
std::string InitFailureText();                              // the library or handle failed
std::string OpenFailureText(const std::string& address);    // the address could not be opened
std::string NotFoundText(const std::string& address);       // the server reported length 0
// remote name + " --- Error downloading file", with " (" reason ")" when there is a reason.
std::string TransferFailureText(const std::string& remoteName, const std::string& reason);
std::string AbortedText();

// The marked-up 404 message when content looks like an HTML page (a title holding "404", or
// html, head, title and /title in this order, case ignored); else def. With iisHint, content
// that mentions IIS adds a hint about MIME types.
std::string ErrorPageMessage(const std::string& content, const std::string& url, bool iisHint,
                             const std::string& def);

}  // namespace stub
