// HTTP through the system's internet client library, WinINet, which is loaded on first need
// (stub.exe imports nothing of it): the connection state, a file's length on the server, and
// the download of a file into a temporary file beside its destination (renamed when complete)
// or into memory, driving a progress bar and stoppable through the abort flag.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "inet/HttpDownload.h"
#include "inet/VProgBar.h"

namespace stub {

// True when the system reports an internet connection; on false, errorText receives the
// system's message for the last error.
bool IsInternetConnected(std::string& errorText);
bool IsInternetConnected();

// The server's content length for url, or -1 when the library, the handle or the request
// fails or the server gives no length.
int32_t HTTP_GetFileSize(const std::string& url);

// Downloads url into destination (through a temporary file "destination.N" that is renamed
// when every announced byte has arrived), or into data when destination is empty. window is
// shown when the download starts (handles above 10 only); bar may be null. errorText is
// empty exactly when the whole file arrived: then destination holds it, or data does.
// Returns errorText.empty().
bool HTTP_DownloadFile_Incremental(HWND window, const std::string& url, const std::string& destination,
                                   std::string& errorText, TProgBar* bar, std::string& data);

// The default, or the marked-up 404 message when file (its first 10000 bytes; content when
// file is empty or missing) is an HTML page a server sent in place of the file.
std::string CheckErrorPage(const std::string& file, const std::string& content, const std::string& url,
                           bool iisHint, const std::string& def);

// Frees the library at program end; a later call loads it again.
void UnloadInternetLibrary();

// Test seam: the connection test in place of the library's (Wine always reports a
// connection). Null restores the library's.
typedef BOOL(WINAPI* ConnectedStateFunction)(LPDWORD flags, DWORD reserved);
void SetConnectedStateForTesting(ConnectedStateFunction function);

}  // namespace stub
