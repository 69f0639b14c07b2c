#include "package/PackageDownloadCore.h"

#include "package/ByteSource.h"
#include "package/ExitCodes.h"
#include "package/PackageLayout.h"
#include "package/Records.h"
#include "package/SetupPlan.h"
#include "package/Token.h"
#include "support/Text.h"

namespace stub {

static const char kBadToken[] = "Bad Secret Token!";
// An appended signature shorter than this is dropped from the agent copy; a longer one kept.
static const int64_t kDroppedSignatureLimit = 10000;

const char* PackageDownloadOutcomeName(PackageDownloadOutcome outcome) {
  switch (outcome) {
    case PackageDownloadOutcome::SetupRan: return "SetupRan";
    case PackageDownloadOutcome::Declined: return "Declined";
    case PackageDownloadOutcome::NoConnection: return "NoConnection";
    case PackageDownloadOutcome::DownloadFailed: return "DownloadFailed";
    case PackageDownloadOutcome::Aborted: return "Aborted";
    case PackageDownloadOutcome::BadToken: return "BadToken";
    case PackageDownloadOutcome::ErrorPage: return "ErrorPage";
  }
  return "";
}

bool PackageDownloadExitCode(PackageDownloadOutcome outcome, uint32_t& code) {
  switch (outcome) {
    case PackageDownloadOutcome::SetupRan: return false;
    case PackageDownloadOutcome::Declined:
    case PackageDownloadOutcome::Aborted: code = kExitUserCancel; return true;
    case PackageDownloadOutcome::NoConnection:
    case PackageDownloadOutcome::DownloadFailed: code = kExitSourceAbsent; return true;
    case PackageDownloadOutcome::BadToken:
    case PackageDownloadOutcome::ErrorPage: code = kExitPackageInvalid; return true;
  }
  return false;
}

std::string DownloadQuestion(const std::string& question, const std::string& sizeText) {
  return ReplaceText(question, "<SIZE>", MegabyteText(static_cast<double>(ToInt64(sizeText, 0))));
}

bool PackageTokensMatch(const std::string& packageToken, const std::string& stubToken) {
  std::string package, stub;
  return TryDescrambleToken(packageToken, package) && TryDescrambleToken(stubToken, stub) && package == stub;
}

std::string DownloadedPackageName(const std::string& name) {
  const std::string part = FileNamePart(ReplaceChar(name, '/', '\\'));
  return IsSafeRelativePath(part) ? part : "package.exe";
}

std::string DownloadStubAgentCopy(const std::string& stubFile) {
  MemorySource source(stubFile);
  const int64_t end = PackageEnd(source);
  std::string copy = stubFile;
  if (end < static_cast<int64_t>(copy.size()) && static_cast<int64_t>(copy.size()) - end < kDroppedSignatureLimit)
    copy.resize(static_cast<size_t>(end));
  // The trailer ends at the logical end, whatever follows it: its AgentCopy byte is the 5th
  // from there, not from the end of a signature that stays.
  if (end <= 5 || end > static_cast<int64_t>(copy.size())) return std::string();
  copy[static_cast<size_t>(end - 5)] = 1;
  return copy;
}

namespace {

// One call of RunPackageDownload; its members are the routine's locals.
class PackageDownload {
 public:
  PackageDownload(const PackageDownloadRequest& request, PackageDownloadHost& host) : request_(request), host_(host) {}
  PackageDownloadOutcome Run();

 private:
  // Stops the walk with an outcome and the text the user sees ("" for none).
  void Stop(PackageDownloadOutcome outcome, const std::string& errorText) {
    outcome_ = outcome;
    errorText_ = errorText;
  }
  // Nothing has stopped the walk: it ends in the setup.
  bool Going() const { return outcome_ == PackageDownloadOutcome::SetupRan; }
  void Fetch();

  const PackageDownloadRequest& request_;
  PackageDownloadHost& host_;
  PackageDownloadOutcome outcome_ = PackageDownloadOutcome::SetupRan;
  std::string errorText_;
  std::string packagePath_;
  std::string url_;
  bool fetched_ = false;  // packagePath_ is a file this run downloaded (and so deletes)
};

void PackageDownload::Fetch() {
  host_.ShowDownloading();
  if (request_.ask && !host_.Confirm(DownloadQuestion(request_.question, request_.sizeText))) {
    // Declined: nothing is tested or fetched, and nothing more is said.
    Stop(PackageDownloadOutcome::Declined, std::string());
    return;
  }
  std::string reason;
  if (!host_.IsConnected(reason)) {
    Stop(PackageDownloadOutcome::NoConnection,
         request_.noConnection + (reason.empty() ? std::string() : "<P><P>" + reason));
    return;
  }
  packagePath_ = request_.downloadFolder + "\\" + DownloadedPackageName(request_.fileName);
  const std::string error = host_.Download(url_, packagePath_);
  if (error.empty())
    fetched_ = true;
  else
    Stop(host_.AbortRequested() ? PackageDownloadOutcome::Aborted : PackageDownloadOutcome::DownloadFailed, error);
  host_.ResetBars();
}

PackageDownloadOutcome PackageDownload::Run() {
  // A package file beside the stub stands in for the server's, unless it is the stub itself
  // (a download stub named like its package) or the package says never to look.
  std::string baseUrl = request_.downloadUrl;
  const std::string besideStub = FolderPart(request_.ownPath) + request_.fileName;
  if (!request_.noLocalCopy && !SameText(besideStub, request_.ownPath) && host_.FileExists(besideStub))
    baseUrl = StripSlash(FolderPart(request_.ownPath));
  url_ = baseUrl + "/" + request_.fileName;

  const std::string local = FolderSlash(baseUrl, true) + request_.fileName;
  if (!SameText(local, request_.ownPath) && host_.FileExists(local)) {
    packagePath_ = local;
    host_.Log("Package found at " + local);
  } else {
    Fetch();
  }

  if (Going() && !PackageTokensMatch(host_.DownloadToken(packagePath_), request_.stubToken)) {
    const std::string text = host_.ErrorPageText(packagePath_, url_, kBadToken);
    Stop(text == kBadToken ? PackageDownloadOutcome::BadToken : PackageDownloadOutcome::ErrorPage, text);
  }
  if (Going()) host_.RunSetup(packagePath_);
  if (fetched_) host_.RemoveFile(packagePath_);
  if (!errorText_.empty()) host_.ShowError(errorText_);
  return outcome_;
}

}  // namespace

PackageDownloadOutcome RunPackageDownload(const PackageDownloadRequest& request, PackageDownloadHost& host) {
  PackageDownload download(request, host);
  return download.Run();
}

}  // namespace stub
