// The setup of a download stub, whose package carries no setup files: where the package file
// comes from (beside the stub, a local folder or share, a web server), the question before a
// download, the token that pairs the package with the stub, the setup run on it and what is
// deleted afterwards. The walk runs over a host that makes every system call; the Windows
// host is PackageDownload.h, the unit tests script one.
#pragma once

#include <cstdint>
#include <string>

namespace stub {

// How a download setup ended; each has its own log line and, unless the setup ran, its own
// exit code.
enum class PackageDownloadOutcome {
  SetupRan,        // the package was this stub's: the setup ran on it and set the exit code
  Declined,        // the user answered No to the download question
  NoConnection,    // the system reports no internet connection
  DownloadFailed,  // no connection to the server, a failed, cut or refused download
  Aborted,         // the user closed the window during the download
  BadToken,        // the package carries another token (or none)
  ErrorPage,       // an HTML page came in place of the package
};
const char* PackageDownloadOutcomeName(PackageDownloadOutcome outcome);
// The exit code of an outcome that ran no setup; false for SetupRan, whose code the setup set.
bool PackageDownloadExitCode(PackageDownloadOutcome outcome, uint32_t& code);

struct PackageDownloadRequest {
  std::string downloadUrl;     // the folder of the package file on the server, or a local folder or share
  std::string fileName;        // the package file's name there
  bool noLocalCopy = false;    // never take a package file that lies beside the stub
  std::string ownPath;         // the stub's own file
  std::string downloadFolder;  // where a fetched package is kept: a folder of this run only
  bool ask = false;            // ask before downloading (the package asks and the run is not hidden)
  std::string sizeText;        // the package file's size in bytes as the stub records it
  std::string stubToken;       // the stub's download token, scrambled
  std::string question;        // the download question; "<SIZE>" stands for the size in MB
  std::string noConnection;    // the text when the system reports no connection
};

class PackageDownloadHost {
 public:
  virtual ~PackageDownloadHost() = default;
  virtual bool FileExists(const std::string& path) = 0;
  // Puts "Downloading File..." into the status line.
  virtual void ShowDownloading() = 0;
  // The Yes/No question; true for Yes.
  virtual bool Confirm(const std::string& text) = 0;
  // The system's connection state; reason gets the system's text when there is none.
  virtual bool IsConnected(std::string& reason) = 0;
  // Fetches url into destination (clearing the abort flag first); "" exactly when the whole
  // file arrived, else the download's error text.
  virtual std::string Download(const std::string& url, const std::string& destination) = 0;
  // True when the download was stopped because the user closed the window.
  virtual bool AbortRequested() = 0;
  // After a download: the bar stays a moment, then both bars are emptied.
  virtual void ResetBars() = 0;
  // The download token (scrambled) of the package at path; "" when it holds none.
  virtual std::string DownloadToken(const std::string& packagePath) = 0;
  // def, or the 404 text when the file at packagePath is an HTML page.
  virtual std::string ErrorPageText(const std::string& packagePath, const std::string& url, const std::string& def) = 0;
  virtual void RunSetup(const std::string& packagePath) = 0;
  virtual void RemoveFile(const std::string& path) = 0;
  virtual void ShowError(const std::string& text) = 0;
  virtual void Log(const std::string& line) = 0;
};

PackageDownloadOutcome RunPackageDownload(const PackageDownloadRequest& request, PackageDownloadHost& host);

// The download question with "<SIZE>" replaced by the size in megabytes (0 when the size is
// not a number).
std::string DownloadQuestion(const std::string& question, const std::string& sizeText);

// True when both scrambled tokens are well formed and their clear texts are equal (letter
// case counts). A malformed token pairs with nothing, not even another malformed one.
bool PackageTokensMatch(const std::string& packageToken, const std::string& stubToken);

// The name a fetched package is kept under in its folder: the file-name part of name, or
// "package.exe" when that part could not be a file name there.
std::string DownloadedPackageName(const std::string& name);

// The agent copy of a download stub from the bytes of its file: cut at the logical end when
// what follows (an appended signature) is shorter than 10,000 bytes, else kept whole; the
// trailer's AgentCopy byte, 5 bytes before the logical end, set to 1. The header is left as
// it is, so a kept signature stays behind the package. "" when the file is 5 bytes or less.
std::string DownloadStubAgentCopy(const std::string& stubFile);

}  // namespace stub
