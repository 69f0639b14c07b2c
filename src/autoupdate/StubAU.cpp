#include <windows.h>

#include "autoupdate/StubAU.h"

#include "autoupdate/AgentControl.h"
#include "autoupdate/StubGlob.h"
#include "autoupdate/UpdateCycle.h"
#include "inet/InetHTTP.h"
#include "inet/VProgBarWin.h"
#include "package/GFileInfo.h"
#include "package/StubSetup.h"
#include "support/Files.h"
#include "support/Utils.h"
#include "support/VDebug.h"
#include "ui/VMsgBox.h"

namespace stub {

static const char kAutoUpdateKey[] = "HKEY_CURRENT_USER\\Software\\Morvaine\\Talvex\\AutoUpdate";

namespace {

// The agent's window, files, registry, WinINet and boxes.
class StubAgentHost : public AgentHost {
 public:
  CivilTime Now() override { return LocalNow(); }
  uint32_t TickCount() override { return GetTickCount(); }
  DescriptionFiles& Descriptions() override { return AgentDescriptions(); }
  std::string UpdateLocation() override { return PackageInfo().GetUpdateURL(); }
  std::string AgentFolder() override { return ExeFolder(true); }
  std::string TestModeValue(const char* name, const char* def) override {
    return ReadRegString(kAutoUpdateKey, name, def, RegView64Default);
  }
  bool DeveloperMode() override { return stub::DeveloperMode(); }

  bool FileExists(const std::string& path) override { return stub::FileExists(path); }
  int64_t FileSize(const std::string& path) override { return stub::FileExists(path) ? FileSizeByName(path) : -1; }
  bool ReadFile(const std::string& path, std::string& content) override {
    content = ReadFilePart(path, 0, 0);
    return !content.empty() || stub::FileExists(path);
  }
  bool PutFile(const std::string& path, const std::string& content) override {
    // A name of its own that no download's clean-up ("name." + digits) takes for its own.
    const std::string partial = path + ".partial";
    if (SaveToNewFile(partial, content) && MoveFileExA(partial.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING))
      return true;
    DebugPidLine(" Not written: " + path + " " + SysErrorText());
    DeleteFileA(partial.c_str());
    return false;
  }
  void RemoveFile(const std::string& path) override { DeleteFileA(path.c_str()); }

  bool IsInternetConnected(std::string& errorText) override { return stub::IsInternetConnected(errorText); }
  int32_t HttpFileSize(const std::string& url) override { return HTTP_GetFileSize(url); }
  std::string HttpDownload(const std::string& url, const std::string& destination, std::string& data,
                           bool showWindow) override {
    std::string error;
    SetDownloadAbort(false);
    HTTP_DownloadFile_Incremental(showWindow ? MainWindow() : nullptr, url, destination, error, &StubProgBar(), data);
    return error;
  }
  bool DownloadAbortRequested() override { return stub::DownloadAbortRequested(); }
  std::string ErrorPageText(const std::string& file, const std::string& content, const std::string& url,
                            const std::string& def) override {
    return CheckErrorPage(file, content, url, false, def);
  }
  std::string AgentToken() override { return PackageInfo().GetSecretToken(false); }
  std::string PackageToken(const std::string& path) override { return TGFileInfo(path).GetSecretToken(false); }

  void ShowStubWindow(bool show) override {
    if (MainWindow()) ShowWindow(MainWindow(), show ? SW_SHOW : SW_HIDE);
  }
  void SetStatusText(const std::string& text) override { Box(kStatus, 0, text); }
  void ShowLocalCopyProgress() override {
    StubProgressHandler(0, 10, std::string(), 1, 0);
    for (int i = 0; i < 10; ++i) {
      StubProgressHandler(1, 10, std::string(), 1, 0);
      stub::WaitPumping(0, 300);
    }
    StubProgressHandler(0, 10, std::string(), 1, 0);
  }
  void WaitPumping(unsigned milliseconds) override { stub::WaitPumping(0, milliseconds); }
  void SetMsgBoxFont() override { Box(kFont, 0, std::string()); }
  void MsgError(int ownerMode, const std::string& text) override { Box(kError, ownerMode, text); }
  void MsgAttention(int ownerMode, const std::string& text) override { Box(kAttention, ownerMode, text); }
  bool MsgConfirm(int ownerMode, const std::string& text) override { return Box(kConfirm, ownerMode, text); }

  void Notify(uint32_t code, intptr_t value) override { stub::Notify(code, value); }
  void DebugPidLine(const std::string& text) override { stub::DebugPidLine(text); }
  void DebugLine(const std::string& text) override { stub::DebugLine(text); }
  void Log(const std::string& text) override { WriteLog(text); }
  void PostQuit() override { PostQuitMessage(0); }

  // The installation of an update and the announcement come with their own work; until then
  // an accepted check ends here.
  bool PerformAutoUpdate() override { return NotBuilt("PerformAutoUpdate"); }
  bool PerformAutoInform() override { return NotBuilt("PerformAutoInform"); }
  void ReStartAutoUpdateExe() override { NotBuilt("ReStartAutoUpdateExe"); }

 private:
  enum BoxKind { kFont, kStatus, kError, kAttention, kConfirm };
  // Everything that shows in [MsgBox]'s appearance, in one place.
  static bool Box(BoxKind kind, int ownerMode, const std::string& text) {
    const AgentBoxStyle style = AgentDescriptions().BoxStyle();
    switch (kind) {
      case kFont:
        stub::SetMsgBoxFont(style.fontName, style.fontSize, style.charset);
        break;
      case kStatus:
        stub::SetStatusText(StatusTextControl(), text, style.fontName, style.charset, style.fontSize);
        break;
      case kError:
        stub::MsgError(ownerMode, text, style.error, style.charset, style.buttons);
        break;
      case kAttention:
        stub::MsgAttention(ownerMode, text, style.attention, 0, style.charset, style.buttons);
        break;
      case kConfirm:
        return stub::MsgConfirm(ownerMode, text, style.confirm, 0, style.charset, style.buttons);
    }
    return false;
  }
  bool NotBuilt(const char* what) {
    stub::DebugPidLine(" " + std::string(what) + ": not built yet");
    WriteLog(std::string(what) + "() - not built yet");
    return false;
  }
};

}  // namespace

// The cycle of this process and the host it runs over; reached first on the window thread.
static UpdateCycle& Cycle() {
  static StubAgentHost host;
  static UpdateCycle cycle(host);
  return cycle;
}

bool CheckTestMode(bool force) { return Cycle().CheckTestMode(force); }

const std::string& TestModeURL() { return Cycle().TestModeURL(); }

void AgentTick() { RunAgentTick(Cycle()); }

}  // namespace stub
