// The resident agent's update cycle as a walk over an AgentHost: the schedule, test mode, the
// question before a probe, the probe (the .info fetch and the update check), the fetch of the
// files of an update, and the report of a test cycle. The host makes every system call (the
// clock, INI files, the registry, files, HTTP, boxes, the window); StubAU.cpp brings the
// Windows one, the unit tests a scripted one.
#pragma once

#include <cstdint>
#include <string>

#include "autoupdate/AgentTick.h"
#include "autoupdate/DescriptionFiles.h"
#include "support/Text.h"

namespace stub {

// What DownloadFileAU fetches.
enum DownloadKind { kDownloadInfo = 1, kDownloadUpdate = 2, kDownloadInform = 3 };

class AgentHost {
 public:
  virtual ~AgentHost() = default;
  // The local clock and the system's millisecond tick count.
  virtual CivilTime Now() = 0;
  virtual uint32_t TickCount() = 0;
  // The description files next to the agent (their paths stay for the life of the process).
  virtual DescriptionFiles& Descriptions() = 0;
  // Field 0 of the settings record: where the .info file is published.
  virtual std::string UpdateLocation() = 0;
  // The agent's folder, with its trailing backslash.
  virtual std::string AgentFolder() = 0;
  // A value under the test-mode registry key ("TestMode", "TestModeDate", "TestModeURL").
  virtual std::string TestModeValue(const char* name, const char* def) = 0;
  virtual bool DeveloperMode() = 0;

  virtual bool FileExists(const std::string& path) = 0;
  // The size of the file at path, -1 when there is none.
  virtual int64_t FileSize(const std::string& path) = 0;
  // The whole file; false when it cannot be read.
  virtual bool ReadFile(const std::string& path, std::string& content) = 0;
  // Puts content at path whole or not at all: written to a name of its own beside it, then
  // moved over it. False when path keeps what it held.
  virtual bool PutFile(const std::string& path, const std::string& content) = 0;
  virtual void RemoveFile(const std::string& path) = 0;

  virtual bool IsInternetConnected(std::string& errorText) = 0;
  // The server's length of url, -1 when it gives none.
  virtual int32_t HttpFileSize(const std::string& url) = 0;
  // Fetches url into destination, or into data when destination is empty; "" exactly when
  // the whole file arrived, else the download's error text. The abort flag is cleared
  // first; showWindow makes the stub window visible while it runs.
  virtual std::string HttpDownload(const std::string& url, const std::string& destination, std::string& data,
                                   bool showWindow) = 0;
  virtual bool DownloadAbortRequested() = 0;
  // def, or the 404 text when the file (content when file is "") is an HTML error page.
  virtual std::string ErrorPageText(const std::string& file, const std::string& content, const std::string& url,
                                    const std::string& def) = 0;
  // The download token, scrambled, of this agent and of the setup package at path ("" for none).
  virtual std::string AgentToken() = 0;
  virtual std::string PackageToken(const std::string& path) = 0;

  virtual void ShowStubWindow(bool show) = 0;
  // The stub window's status line, in the font of [MsgBox] of the .original file.
  virtual void SetStatusText(const std::string& text) = 0;
  // A copy from a local folder has no progress of its own: the bar is stepped for the eye.
  virtual void ShowLocalCopyProgress() = 0;
  virtual void WaitPumping(unsigned milliseconds) = 0;
  // The boxes' font, captions, buttons and character set come from [MsgBox] of the .original
  // file (ownerMode as the message box takes it); Confirm is true for Yes.
  virtual void SetMsgBoxFont() = 0;
  virtual void MsgError(int ownerMode, const std::string& text) = 0;
  virtual void MsgAttention(int ownerMode, const std::string& text) = 0;
  virtual bool MsgConfirm(int ownerMode, const std::string& text) = 0;

  virtual void Notify(uint32_t code, intptr_t value) = 0;
  virtual void DebugPidLine(const std::string& text) = 0;
  virtual void DebugLine(const std::string& text) = 0;
  virtual void Log(const std::string& text) = 0;  // the run log
  virtual void PostQuit() = 0;

  // What an accepted check leads to.
  virtual bool PerformAutoUpdate() = 0;
  virtual bool PerformAutoInform() = 0;
  virtual void ReStartAutoUpdateExe() = 0;
};

// The cycle's state lives in this object, one per process in the stub.
class UpdateCycle : public AgentCycle {
 public:
  explicit UpdateCycle(AgentHost& host) : host_(host) {}

  // AgentCycle, for RunAgentTick.
  void DebugPidLine(const std::string& text) override { host_.DebugPidLine(text); }
  void DebugLine(const std::string& text) override { host_.DebugLine(text); }
  void JustDownloadInfoFile() override;
  void SetMsgBoxFont() override { host_.SetMsgBoxFont(); }
  void PostQuit() override { host_.PostQuit(); }
  // Reads the registry when forced or when 30 s have passed since it was last read.
  bool CheckTestMode(bool force) override;
  int ShotTimeStatus() override;
  void StopProbing() override { probingActive_ = false; }
  bool AskBeforeProbe() override;
  bool ConfirmProbe() override;
  void PerformShot() override;

  // The update check of a probe: true for code 6; code and text say which test ended it.
  bool GetOkToPerformAU(bool infoFetched, int& code, std::string& codeText);
  // Fetches a file of an update from base (a web folder, or a local or UNC folder); error
  // gets what went wrong. Kind 1 puts the .info file in place only when it arrived whole
  // and is no error page; kinds 2 and 3 keep the file in the agent's folder and pass only
  // when it carries this agent's token.
  bool DownloadFileAU(const std::string& base, const std::string& name, int kind, std::string& error);
  bool PackageTokenMatches(const std::string& file, int kind);

  bool TestModeActive() const { return testModeActive_; }
  const std::string& TestModeURL() const { return testModeURL_; }
  bool ProbingActive() const { return probingActive_; }

 private:
  bool SizeTestPasses(DescriptionFiles& files);
  void ReportTestCycle(int code, const std::string& codeText, const std::string& infoError);
  std::string FetchError(const std::string& source);

  AgentHost& host_;
  bool probingActive_ = true;      // cleared after the one probe of an interval of 0
  bool testModeActive_ = false;    // test mode as last read
  std::string testModeURL_;        // the test location, replacing every download location
  bool testModeRead_ = false;      // the registry was read at least once
  uint32_t testModeCheckTick_ = 0; // tick count of the last read
};

}  // namespace stub
