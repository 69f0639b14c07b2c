#include "autoupdate/UpdateCycle.h"

#include "autoupdate/AgentControl.h"
#include "autoupdate/AgentOverrides.h"
#include "autoupdate/AgentSchedule.h"
#include "autoupdate/StubInformDlgCore.h"
#include "package/PackageDownloadCore.h"
#include "package/Token.h"

namespace stub {

static const char kTestModeNote[] = "<P><P><T><B>PLEASE NOTE</B> - You are now running in <B>Test Mode</B>!";

bool UpdateCycle::CheckTestMode(bool force) {
  const uint32_t now = host_.TickCount();
  if (!testModeRead_ || TestModeReadDue(force, now, testModeCheckTick_)) {
    const std::string mode = host_.TestModeValue("TestMode", "0");
    const std::string date = host_.TestModeValue("TestModeDate", "");
    testModeActive_ = TestModeOn(mode, date, DateText(host_.Now()));
    testModeURL_ = host_.TestModeValue("TestModeURL", "");
    testModeRead_ = true;
    // The window counts from the last read: a check every second still reads every 30 s.
    testModeCheckTick_ = now;
  }
  return testModeActive_;
}

int UpdateCycle::ShotTimeStatus() {
  AgentControlState& s = AgentState();
  ShotFacts facts;
  facts.probingActive = probingActive_;
  facts.shotForced = s.ShotForced;
  facts.testModeActive = testModeActive_;
  if (facts.probingActive || facts.shotForced) {
    DescriptionFiles& files = host_.Descriptions();
    facts.probeInterval = files.ProbeSecondsInterval();
    facts.probeLast = files.ProbeSecondsLast();
    facts.now = AgentSeconds(host_.Now());
  }
  s.ShotForced = false;
  return ShotStatus(facts);
}

bool UpdateCycle::AskBeforeProbe() { return stub::AskBeforeProbe(); }

bool UpdateCycle::ConfirmProbe() {
  const bool testMode = CheckTestMode(true);
  const std::string location = testMode ? testModeURL_ : host_.UpdateLocation();
  DescriptionFiles& files = host_.Descriptions();
  std::string second = files.AgentText("s23");
  // The part about the internet is dropped for an update location on a local drive.
  if (location.size() < 2 || location[1] == ':') second.clear();
  const std::string text = files.AgentText("s22") + second + files.AgentText("s24") + (testMode ? kTestModeNote : "");
  return host_.MsgConfirm(1, ReplaceText(text, "PROG_NAME", files.Original("OriginalSetup", "ProgramName")));
}

void UpdateCycle::JustDownloadInfoFile() {
  std::string error;
  host_.Notify(kNotifyInfoDownload, 1);
  DownloadFileAU(host_.UpdateLocation(), host_.Descriptions().InfoFile(), kDownloadInfo, error);
  host_.Notify(kNotifyInfoDownload, 2);
}

void UpdateCycle::PerformShot() {
  host_.DebugPidLine(" Fire  " + DateTimeText(host_.Now()));
  CheckTestMode(true);
  AgentControlState& s = AgentState();
  DescriptionFiles& files = host_.Descriptions();
  s.AgentActivity = 1;
  host_.Notify(kNotifyInfoDownload, 1);
  std::string infoError;
  const bool infoFetched = DownloadFileAU(host_.UpdateLocation(), files.InfoFile(), kDownloadInfo, infoError);
  host_.Notify(kNotifyInfoDownload, 2);
  files.SetSecondsLast("ProbeSecondsLast", AgentSeconds(host_.Now()));

  int code = 0;
  std::string codeText;
  const bool performed = GetOkToPerformAU(infoFetched, code, codeText);
  if (performed) {
    host_.DebugPidLine(" ==== PerformShot-1 ====");
    files.SetSecondsLast("ReAskSecondsLast", AgentSeconds(host_.Now()));
    files.SetOriginalInt("Stamp", files.StampNew());
    if (files.AutoInform())
      host_.PerformAutoInform();
    else if (host_.PerformAutoUpdate())
      host_.ReStartAutoUpdateExe();
    host_.DebugPidLine(" ==== PerformShot-2 ====");
  }
  if (s.TestCycleMode == 1) {
    host_.WaitPumping(1000);
    host_.ShowStubWindow(false);
    if (!performed) ReportTestCycle(code, codeText, infoError);
  }
}

// What a test cycle that performed nothing tells the user: no connection, the fetch's error,
// or that there is nothing to do.
void UpdateCycle::ReportTestCycle(int code, const std::string& codeText, const std::string& infoError) {
  std::string connectionError;
  const bool connected = host_.IsInternetConnected(connectionError);
  host_.DebugPidLine(std::string(" TestMode=") + BoolText(testModeActive_) + " InternetConnected=" + BoolText(connected));
  DescriptionFiles& files = host_.Descriptions();
  if (!testModeActive_ && !connected) {
    std::string text = files.AgentText("s2");
    if (!connectionError.empty()) text.append("<P><P>").append(connectionError);
    host_.MsgError(0, text);
  } else if (!testModeActive_ && !infoError.empty()) {
    host_.MsgError(0, infoError);
  } else {
    std::string text = files.AgentText("s21");
    if (host_.DeveloperMode()) text.append("<P><P>(").append(IntText(code)).append(" - ").append(codeText).append(")   ");
    host_.MsgAttention(1, text);
  }
}

bool UpdateCycle::GetOkToPerformAU(bool infoFetched, int& code, std::string& codeText) {
  DescriptionFiles& files = host_.Descriptions();
  UpdateFacts facts;
  facts.infoFetched = infoFetched;
  if (infoFetched) {
    facts.versionOriginal = files.VersionOriginal();
    facts.stampOriginal = files.StampOriginal();
    facts.stampNew = files.StampNew();
    facts.reAskLast = files.ReAskSecondsLast();
    facts.reAskInterval = files.ReAskSecondsInterval();
    facts.now = AgentSeconds(host_.Now());
    facts.testCycle = AgentState().TestCycleMode == 1;
    facts.versionNew = files.VersionNew();
    facts.validVersions = files.Info("NewSetup", "ValidVersions");
  }
  code = CheckBeforeSize(facts);
  if (code == kCheckSizeMismatch && SizeTestPasses(files)) code = kCheckOk;
  codeText = UpdateCheckText(code);
  host_.DebugPidLine(" GetOkToPerformAU=" + IntText(code));
  host_.Log("GetOkToPerformAU = " + IntText(code) + " - " + codeText);
  return code == kCheckOk;
}

// The update (or inform) file measures what the description says: in its folder, or on
// the server when it is not a folder here.
bool UpdateCycle::SizeTestPasses(DescriptionFiles& files) {
  const bool inform = files.AutoInform();
  const int32_t expected = static_cast<int32_t>(inform ? files.InfoInt("AutoInform", "SizeOfInformFile")
                                                       : files.InfoInt("NewSetup", "SizeOfUpdateFile"));
  const std::string name = DescribedFileName(inform ? files.Info("AutoInform", "NameOfInformFile")
                                                    : files.Info("NewSetup", "NameOfUpdateFile"));
  const std::string base = testModeActive_ ? testModeURL_ : files.Info("NewSetup", "DownloadURL_UPDATE");
  std::string path = base + "\\" + name;
  int64_t actual = -1;
  if (!name.empty() && !base.empty()) {
    if (host_.FileExists(path)) {
      actual = host_.FileSize(path);
    } else {
      std::string ignored;
      if (!testModeActive_ && host_.IsInternetConnected(ignored)) {
        path = base + "/" + name;
        actual = host_.HttpFileSize(path);
      }
    }
  }
  if (SizeMatches(actual, expected)) return true;
  host_.Log("  InfoSize=" + IntText(expected));
  host_.Log("  HttpSize=" + IntText(actual));
  host_.Log("  URL=" + path);
  return false;
}

// The notice of a failed update or inform download.
std::string UpdateCycle::FetchError(const std::string& source) {
  DescriptionFiles& files = host_.Descriptions();
  if (host_.DownloadAbortRequested()) return files.AgentText("s3", "File Download Aborted!");
  const bool local = source[1] == ':' || source.compare(0, 2, "\\\\") == 0;
  return (local ? files.AgentText("s4", "File not Found!") : files.AgentText("s5", "Unable to Download File!")) +
         "<P><P>" + source;
}

bool UpdateCycle::DownloadFileAU(const std::string& location, const std::string& fileName, int kind,
                                 std::string& error) {
  static const char* const kStatusKeys[] = {"s31", "s32", "s33"};
  static const char* const kStatusTexts[] = {"Downloading INFO File...", "Downloading UPDATE File...",
                                             "Downloading INFORM File..."};
  const bool info = kind == kDownloadInfo;
  const std::string name = DescribedFileName(fileName);
  const std::string base = testModeActive_ ? testModeURL_ : location;
  const std::string target = host_.AgentFolder() + name;
  std::string source = base + "\\" + name;
  std::string content, destination;  // destination: where an update or inform file was put
  error.clear();
  host_.DebugPidLine(" DownloadFileAU: " + source);
  host_.Log(testModeActive_ ? "TestMode=TRUE" : "TestMode=FALSE");
  host_.Log("Download START: " + source);

  DescriptionFiles& files = host_.Descriptions();
  const bool confirmDownload =
      files.InfoSwitch("RequestConfirmationBeforeDownload", kOverrideRequestConfirmationBeforeDownload);
  const bool testCycle = AgentState().TestCycleMode == 1;
  const bool showWindow = kind == kDownloadUpdate && confirmDownload && !testCycle;
  if (showWindow) host_.ShowStubWindow(true);
  const int index = kind >= kDownloadInfo && kind <= kDownloadInform ? kind - 1 : 0;
  host_.SetStatusText(files.AgentText(kStatusKeys[index], kStatusTexts[index]));

  std::string ignored;
  if (!name.empty() && !base.empty() && host_.FileExists(source)) {
    // A local or UNC copy.
    host_.ReadFile(source, content);
    if (!info && !content.empty()) {
      destination = target;
      if (!host_.PutFile(target, content)) error = target + " --- Error writing file";
    }
    if (showWindow) host_.ShowLocalCopyProgress();
  } else if (!name.empty() && !testModeActive_ && host_.IsInternetConnected(ignored)) {
    host_.WaitPumping(500);
    source = base + "/" + name;
    if (!info) destination = target;
    error = host_.HttpDownload(source, destination, content, testCycle);
    host_.WaitPumping(500);
  } else {
    // Nothing to fetch from (a test location without the file, or no connection): a failure
    // that says so, rather than an empty success.
    error = source + " --- File Not Found !";
  }
  if (showWindow) host_.ShowStubWindow(false);
  host_.Log("Download END:   " + source);

  if (info) {
    if (error.empty() && !content.empty()) error = host_.ErrorPageText(std::string(), content, source, std::string());
    // Only a whole description replaces the last good one: the setup reads it too.
    if (error.empty() && !content.empty() && !host_.PutFile(target, content)) error = target + " --- Error writing file";
    return error.empty() && !content.empty();
  }
  if (error.empty()) {
    if (PackageTokenMatches(destination, kind)) return true;
    const std::string text = host_.ErrorPageText(destination, std::string(), source, "Bad Secret Token!");
    if (!destination.empty()) host_.RemoveFile(destination);
    host_.Log("ERROR: " + text);
    host_.MsgError(0, text);
  } else if (source.size() > 2 && confirmDownload) {
    const std::string text = FetchError(source);
    host_.Log("ATTENTION: " + text);
    host_.MsgAttention(0, text);
  }
  return false;
}

bool UpdateCycle::PackageTokenMatches(const std::string& file, int kind) {
  if (file.empty()) return false;
  if (kind == kDownloadUpdate) return PackageTokensMatch(host_.PackageToken(file), host_.AgentToken());
  if (kind != kDownloadInform) return false;
  std::string own, content;
  if (!TryDescrambleToken(host_.AgentToken(), own) || !host_.ReadFile(file, content)) return false;
  const InformFile inform = ParseInformFile(content);
  return inform.tokenValid && inform.token == own;
}

}  // namespace stub
