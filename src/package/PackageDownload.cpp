#include <windows.h>

#include "package/PackageDownload.h"

#include "inet/InetHTTP.h"
#include "inet/VProgBarWin.h"
#include "package/PackageDownloadCore.h"
#include "package/Records.h"
#include "package/StubSetup.h"
#include "stub/StubWin.h"
#include "support/Files.h"
#include "support/Utils.h"
#include "support/VDebug.h"
#include "ui/VMsgBox.h"

namespace stub {

static const char kDefaultButtons[] = "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|";
static const char kDefaultQuestion[] =
    "<b>INTERNET DOWNLOAD</b><p><p>Talvex will download the Setup File from the Internet...<p>Please make sure "
    "your Internet connection is properly set.<p><p>Continue with Setup?<p><P>Size: <SIZE> MB<P>";
static const char kDefaultNoConnection[] = "No valid Internet Connection.<p>Can not Download File!";
// The folder inside the run's temporary folder that a fetched package goes to: apart from
// the extracted files, so that none of them can land on the package while it is read.
static const char kDownloadFolder[] = "download";

namespace {

class Win32PackageDownloadHost : public PackageDownloadHost {
 public:
  Win32PackageDownloadHost(HWND window, const TGFileInfo& own, const std::string& tempFolder, bool hidden)
      : window_(window),
        own_(own),
        tempFolder_(tempFolder),
        hidden_(hidden),
        downloading_(own.GetLangString("s10", "Downloading File...")),
        buttons_(own.GetLangString("BtnText", kDefaultButtons)) {}

  bool FileExists(const std::string& path) override { return stub::FileExists(path); }
  void ShowDownloading() override {
    SetStatusText(StatusTextControl(), downloading_, own_.GetFontName(), own_.GetCharset(), own_.GetFontSize());
  }
  bool Confirm(const std::string& text) override {
    return MsgConfirm(0, text, own_.GetLangString("Confirm", "Confirm"), 0, own_.GetCharset(), buttons_);
  }
  bool IsConnected(std::string& reason) override { return IsInternetConnected(reason); }
  std::string Download(const std::string& url, const std::string& destination) override {
    SetDownloadAbort(false);
    ForceDirectories(FolderPart(destination));
    // The amounts and the rate go after "Downloading File..." while the bar moves.
    if (!hidden_) SetStubProgressStatus(StatusTextControl(), downloading_ + "   ");
    std::string error, data;
    HTTP_DownloadFile_Incremental(hidden_ ? nullptr : window_, url, destination, error, &StubProgBar(), data);
    SetStubProgressStatus(nullptr, std::string());
    return error;
  }
  bool AbortRequested() override { return DownloadAbortRequested(); }
  void ResetBars() override {
    WaitPumping(0, 300);
    StubProgressHandler(0, 10, std::string(), 1, 0);
    WaitPumping(0, 700);
  }
  std::string DownloadToken(const std::string& packagePath) override {
    return TGFileInfo(packagePath).GetDownloadToken(false);
  }
  std::string ErrorPageText(const std::string& packagePath, const std::string& url, const std::string& def) override {
    return CheckErrorPage(packagePath, std::string(), url, false, def);
  }
  void RunSetup(const std::string& packagePath) override {
    stub::RunSetup(tempFolder_, packagePath, std::string(), !hidden_, GetParamTail());
  }
  void RemoveFile(const std::string& path) override {
    if (!::DeleteFileA(path.c_str())) DebugPidLine(" ==== Downloaded package not deleted: " + path + " " + SysErrorText());
  }
  void ShowError(const std::string& text) override {
    // A hidden setup may run where nobody could answer a box.
    if (hidden_)
      DebugPidLine(" ==== " + text + " (hidden setup: no box)");
    else
      MsgError(0, text, own_.GetLangString("Error", "Error"), own_.GetCharset(), buttons_);
  }
  void Log(const std::string& line) override { DebugPidLine(" ==== " + line); }

 private:
  HWND window_;
  const TGFileInfo& own_;
  std::string tempFolder_;
  bool hidden_;
  std::string downloading_;
  std::string buttons_;
};

}  // namespace

// The stub's own file as an agent copy, next to the setup files the engine will find.
static void WriteAgentCopy(const std::string& tempFolder, const std::string& agentFileName) {
  const std::string name = FileNamePart(agentFileName);
  if (!IsSafeRelativePath(name)) {
    DebugPidLine(" New AU-Agent not written: \"" + name + "\"");
    return;
  }
  const std::string ownPath = ExeFileName(false);
  const std::string copy = DownloadStubAgentCopy(ReadFilePart(ownPath, 0, 0));
  const std::string path = tempFolder + "\\" + name;
  if (!copy.empty() && SaveToFile(path, copy, FileDosDate(ownPath), false))
    DebugPidLine(" New AU-Agent: " + path);
  else
    DebugPidLine(" New AU-Agent not written: " + path + " " + SysErrorText());
}

void DownloadSetup(HWND window, const TGFileInfo& own, const std::string& tempFolder,
                   const std::string& agentFileName) {
  if (!agentFileName.empty()) WriteAgentCopy(tempFolder, agentFileName);
  const bool hidden = HasParam("/hide") || own.GetHideSetup();
  PackageDownloadRequest request;
  request.downloadUrl = own.GetDownloadURL();
  request.fileName = own.GetDownloadFileName();
  request.noLocalCopy = own.GetDownloadNoLocalCopy();
  request.ownPath = ExeFileName(false);
  request.downloadFolder = tempFolder + "\\" + kDownloadFolder;
  request.ask = own.Trailer().AskBeforeDownload() && !hidden;
  request.sizeText = own.GetDownloadSize();
  request.stubToken = own.GetDownloadToken(false);
  request.question = own.GetLangString("s11", kDefaultQuestion);
  request.noConnection = own.GetLangString("s12", kDefaultNoConnection);

  Win32PackageDownloadHost host(window, own, tempFolder, hidden);
  const PackageDownloadOutcome outcome = RunPackageDownload(request, host);
  uint32_t code = 0;
  if (PackageDownloadExitCode(outcome, code)) {
    SetStubExitCode(code);
    DebugPidLine(std::string(" ==== Package download: ") + PackageDownloadOutcomeName(outcome) + ", exit code " +
                 IntText(code));
  } else {
    DebugPidLine(std::string(" ==== Package download: ") + PackageDownloadOutcomeName(outcome));
  }
}

}  // namespace stub
