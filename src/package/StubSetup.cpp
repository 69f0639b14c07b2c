#include <windows.h>
#include <commctrl.h>

#include "package/StubSetup.h"

#include <memory>
#include <vector>

#include "inet/VProgBarWin.h"
#include "package/ExitCodes.h"
#include "package/GFileInfo.h"
#include "package/PackageDownload.h"
#include "package/SetupPlan.h"
#include "package/UnPack.h"
#include "package/ZLibOpen.h"
#include "support/Files.h"
#include "support/PrivateFolder.h"
#include "support/Utils.h"
#include "support/VDebug.h"
#include "ui/MsgBoxMarkup.h"
#include "ui/VMsgBox.h"

namespace stub {

// Decided once per process: the temporary folder, the alternative drive search and its
// working folder.
static std::string g_tempFolder;
static bool g_alternativeSearched = false;
static std::string g_alternativeTempDir;
static std::string g_alternativeWorkFolder;
// The window and shortcuts lent by the program around the run, and the process's exit code.
static SetupHost* g_host = nullptr;
static DWORD g_exitCode = 0;

static const char kAtomPrefix[] = "AutoUpdateAtomTokenByTalvex";
static const char kDialogClassPrefix[] = ".SDialog_Class_Name.";
static const char kDefaultButtons[] = "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|";

void AttachSetupHost(SetupHost* host) { g_host = host; }
void SetStubExitCode(DWORD code) { g_exitCode = code; }
DWORD StubExitCode() { return g_exitCode; }

HWND MainWindow() { return g_host ? g_host->MainWindow() : nullptr; }
HWND StatusTextControl() { return g_host ? g_host->StatusTextControl() : nullptr; }
HWND ActivityBar() { return g_host ? g_host->ActivityBar() : nullptr; }
void SetStatusText(HWND control, const std::string& text, const std::string& fontName, int charset, int fontSize) {
  if (g_host) g_host->SetStatusText(control, text, fontName, charset, fontSize);
}

// Removes the run's work folder. An engine that has just ended may still hold its image or a
// file open for a moment (virus scanners do the same), so a folder that stays is tried again
// for a few seconds before it is given up.
static void RemoveWorkFolder(const std::string& folder) {
  for (int attempt = 0; DirectoryExists(folder) && attempt < 50; ++attempt) {
    if (DeleteTree(folder, attempt > 0)) break;
    WaitPumping(0, 100);
  }
}

// A folder of this run only, made where nothing was before with the private access list.
// A plain folder under the name, left by an earlier run, goes first; anything else there
// (a file, a link) stays, and the folder gets the name + "_" + a random number instead.
static std::string MakeFresh(const std::string& folder) {
  FreshFolderRequest request;
  request.name = folder;
  request.removeOld = true;
  request.alternatePrefix = folder + "_";
  return MakeFreshPrivateFolder(request);
}

static uint32_t OwnFileDosDateTime() {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(ExeFileName(false).c_str(), GetFileExInfoStandard, &data)) return 0;
  FILETIME local;
  WORD date = 0, time = 0;
  FileTimeToLocalFileTime(&data.ftLastWriteTime, &local);
  FileTimeToDosDateTime(&local, &date, &time);
  return (uint32_t(date) << 16) | time;
}

std::string SetupTempFolderIfMade() { return g_tempFolder; }

std::string SetupTempFolderName() {
  return g_tempFolder.empty() ? SetupFolderName(TempFolder(true), OwnFileDosDateTime()) : g_tempFolder;
}

std::string SetupTempFolder() {
  if (g_tempFolder.empty()) g_tempFolder = MakeFresh(SetupTempFolderName());
  return g_tempFolder;
}

// letter:\TEMP when nothing is there yet, else letter:\TEMP\TEMP + a random number, made
// fresh either way; "" when the drive takes no folder.
static std::string MakeProbeFolder(char letter) {
  FreshFolderRequest request;
  request.name = std::string(1, letter) + ":\\TEMP";
  request.alternatePrefix = request.name + "\\TEMP";
  return MakeFreshPrivateFolder(request);
}

// The fixed drive among C:, D:, E: with the most room, when it is not the temporary path's.
static std::string FindAlternativeTempDir() {
  if (g_alternativeSearched) return g_alternativeTempDir;
  g_alternativeSearched = true;
  std::vector<DriveProbe> probes;
  for (char letter : {'C', 'D', 'E'}) {
    const std::string root = std::string(1, letter) + ":\\";
    if (GetDriveTypeA(root.c_str()) != DRIVE_FIXED) continue;
    DriveProbe probe;
    probe.letter = letter;
    const std::string folder = MakeProbeFolder(letter);
    if (!folder.empty() && SaveToFile(folder + "\\~aa.tmp", "aa", 0, false) && FileExists(folder + "\\~aa.tmp")) {
      probe.noted = true;
      probe.freeBytes = DiskFreeBytes(folder);
    }
    if (!folder.empty()) DeleteTree(folder, false);
    probes.push_back(probe);
  }
  const std::string temp = TempFolder(false);
  const char best = ChooseAlternativeDrive(temp.empty() ? 'C' : temp[0], probes);
  if (best) {
    g_alternativeTempDir = std::string(1, best) + ":\\TEMP";
    if (DirectoryExists(g_alternativeTempDir)) g_alternativeTempDir += "\\TEMP";
  }
  return g_alternativeTempDir;
}

static bool CheckTempSpace(const std::string& tempFolder, const TGFileInfo& package) {
  SpaceTexts texts;
  texts.s2 = package.GetLangString("s2", "Talvex will extract files to your Temp Drive (<DRIVE>)<P>");
  texts.s3 = package.GetLangString("s3", "Limited Free Space on your Temp Drive! (<DRIVE>)<P>");
  texts.s4 = package.GetLangString("s4", "<P>Estimated space required on your Temp drive is: <T>  <SPACE_REQ> MB<P>");
  texts.s5 = package.GetLangString("s5", "Free space available on your Temp drive is: <T>  <SPACE_AVAIL> MB<P>");
  texts.s6 = package.GetLangString("s6", "<P>Continue with Setup?<P>");
  SpaceNotice notice = BuildSpaceNotice(tempFolder, package.GetSpaceNeeded(tempFolder), DiskFreeBytes(tempFolder),
                                        package.Trailer().AnnounceTempExtraction(), texts);
  if (!notice.show) return true;
  return MsgConfirm(0, notice.text, package.GetLangString("Confirm", "Confirm"), 0, package.GetCharset(),
                    package.GetLangString("BtnText", kDefaultButtons));
}

HANDLE RunProgram(const std::string& commandLine, int show) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = static_cast<WORD>(show);
  PROCESS_INFORMATION info = {};
  std::vector<char> command(commandLine.begin(), commandLine.end());
  command.push_back('\0');
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
    DebugPidLine(" RunProgram failed: " + SysErrorText());
    return nullptr;
  }
  CloseHandle(info.hThread);
  return info.hProcess;
}

void WaitForProcess(HANDLE process) {
  DWORD code = 0;
  while (process && GetExitCodeProcess(process, &code) && code == STILL_ACTIVE) WaitPumping(0, 500);
}

// Starts the engine and waits until it, its dialog windows and its hand-off are done.
static bool HandOff(const std::string& tempFolder, const std::string& mainFile, const std::string& extra,
                    bool foregroundOp) {
  const std::string token = "_" + IntText(GetCurrentThreadId());
  EngineCommandInput in;
  in.tempFolder = tempFolder;
  in.mainFile = mainFile;
  in.extra = extra;
  in.token = token;
  in.ownPath = ExeFileName(false);
  in.autoUpdateProg = PackageInfo().Trailer().AgentCopy();
  const std::string command = EngineCommand(in);
  if (g_host) g_host->EngineStarting();
  DebugPidLine(" ==== WinExec(Engine.exe) >>" + command + "<<");

  const std::string atomName = kAtomPrefix + token;
  GlobalAddAtomA(atomName.c_str());
  // The program is the file this run extracted, held for reading only until it has started:
  // nothing may change or replace it between its last write and its start.
  const size_t star = mainFile.find('*');
  const std::string program =
      FolderSlash(tempFolder, true) + Trim(star == std::string::npos ? mainFile : mainFile.substr(0, star));
  HANDLE held = OpenToRun(program, WrittenFileStamp(program));
  HANDLE process = nullptr;
  if (held == INVALID_HANDLE_VALUE) {
    DebugPidLine(" ==== Not started: " + program + " is not the file extracted there (" + SysErrorText() + ")");
  } else {
    process = RunProgram(command, foregroundOp ? SW_SHOW : SW_HIDE);
    CloseHandle(held);
  }
  if (MainWindow()) ShowWindow(MainWindow(), SW_HIDE);
  WaitPumping(0, 1000);
  WaitForProcess(process);
  DWORD code = 0;
  if (!process) code = kExitFailure;  // the engine never ran: no code of its own to pass on
  else if (!GetExitCodeProcess(process, &code)) code = 0;
  if (process) CloseHandle(process);
  SetStubExitCode(code);
  DebugPidLine(std::string(process ? " ==== Engine exit code " : " ==== Engine not started, exit code ") +
               IntText(code));

  WaitWhileWindowExists(kDialogClassPrefix + token, "");
  WaitPumping(0, 1000);
  ATOM atom = GlobalFindAtomA(atomName.c_str());
  if (atom) GlobalDeleteAtom(atom);
  const bool succeeded = atom == 0;
  if (succeeded && g_host) g_host->SetupSucceeded();
  return succeeded;
}

bool RunSetup(const std::string& tempFolderIn, const std::string& packagePath, const std::string& agentFileName,
              bool foregroundOp, const std::string& extraParameters) {
  bool result = false;
  std::string tempFolder = tempFolderIn;
  TGFileInfo package(packagePath);
  if (package.Trailer().ShowActivityBar() && ActivityBar()) ShowWindow(ActivityBar(), SW_SHOW);
  SetStatusText(StatusTextControl(), package.GetLangString("s1", "Extracting Files..."), package.GetFontName(),
                package.GetCharset(), package.GetFontSize());

  const bool usable = DirectoryExists(tempFolder) && package.GetSpaceNeeded(tempFolder) < DiskFreeBytes(tempFolder);
  if (!usable && !FindAlternativeTempDir().empty()) {
    if (g_alternativeWorkFolder.empty()) {
      FreshFolderRequest request;
      request.name = g_alternativeTempDir + "_" + RandomInRangeText(10000, 100000);
      request.removeOld = true;
      request.alternatePrefix = g_alternativeTempDir + "_";
      g_alternativeWorkFolder = MakeFreshPrivateFolder(request);
    }
    if (!g_alternativeWorkFolder.empty()) tempFolder = g_alternativeWorkFolder;
  }
  WriteLog(std::string("========= ForegroundOp=") + BoolText(foregroundOp) + " ==========");
  DebugPidLine(std::string(" ========= ForegroundOp=") + BoolText(foregroundOp) + " ========== " + tempFolder);

  if (!foregroundOp || CheckTempSpace(tempFolder, package)) {
    const std::string prompt =
        package.GetLangString("s8", "Please insert <B>DISK #<DISK_NUM></B> and press OK to continue");
    const std::string caption = package.GetLangString("Attention", "Attention");
    const std::string buttons = package.GetLangString("BtnText", kDefaultButtons);
    if (foregroundOp && MainWindow()) ShowWindow(MainWindow(), SW_SHOW);
    WaitPumping(1, 1000);

    const bool forcePrompt =
        ReadRegString("HKEY_CURRENT_USER\\Software\\Morvaine\\Talvex\\SpanDisk", "ForcePrompt", "0",
                      RegView64Default) == "1";
    bool checksumOk = false;
    std::string mainFile;
    // A hidden setup may run where nobody sees a box: it asks for no disk and shows no error.
    ExtractOutcome outcome = ExtractPackage(packagePath, tempFolder, agentFileName, checksumOk, StubProgressHandler,
                                            prompt, caption, buttons, package.GetCharset(), forcePrompt, mainFile,
                                            !foregroundOp);
    DebugPidLine(std::string(" ==== Extraction: ") + OutcomeName(outcome) + " MainFile=" + mainFile);
    WaitPumping(0, 1000);
    // A user who closed the window has cancelled the setup, whatever the extraction finished.
    const std::string refused = mainFile.empty() ? std::string() : RefusedProgramReason(mainFile);
    if (!SetupRunCancelled() && !mainFile.empty() && checksumOk && refused.empty()) {
      result = HandOff(tempFolder, mainFile, extraParameters, foregroundOp);
    } else if (!SetupRunCancelled() && checksumOk && !refused.empty()) {
      // A damaged or hostile package: what it names is not what it extracted.
      SetStubExitCode(kExitPackageInvalid);
      DebugPidLine(" ==== Nothing started: " + refused + ": \"" + MainProgramPart(mainFile) + "\", exit code " +
                   IntText(StubExitCode()));
      if (foregroundOp)
        MsgError(0, MsgBoxPathText(MainProgramPart(mainFile)) + "<P><P>Unable to start the Setup program!<P><P>" +
                        "The path leads out of the setup folder, so nothing was started.",
                 package.GetLangString("Error", "Error"), package.GetCharset(), buttons);
    } else {
      const bool closed = SetupRunCancelled();
      SetStubExitCode(ExitCodeWithoutEngine(outcome, closed));
      const std::string why = closed ? "Setup cancelled: the window was closed"
                              : outcome == ExtractOutcome::Completed
                                  ? "Nothing started: the package marks no program"
                                  : std::string("Nothing started: ") + OutcomeName(outcome);
      DebugPidLine(" ==== " + why + ", exit code " + IntText(StubExitCode()));
    }
    if (!checksumOk && outcome != ExtractOutcome::Cancelled) {
      if (foregroundOp)
        MsgError(0, package.GetLangString("s7", "Bad CRC!<P>This indicates that your setup file might be corrupted..."),
                 package.GetLangString("Error", "Error"), package.GetCharset(), buttons);
      else
        DebugPidLine(" ==== Bad CRC (hidden setup: no box)");
    }
  } else {
    SetStubExitCode(kExitUserCancel);
    DebugPidLine(" ==== Setup declined at the temporary-space notice, exit code " + IntText(kExitUserCancel));
  }
  if (!g_alternativeWorkFolder.empty()) RemoveWorkFolder(g_alternativeWorkFolder);
  return result;
}

// Shown, or only logged in a hidden setup, where nobody may be there to answer a box.
static void ReportSetupError(const TGFileInfo& own, bool foregroundOp, const std::string& text) {
  if (foregroundOp)
    MsgError(0, text, own.GetLangString("Error", "Error"), own.GetCharset(),
             own.GetLangString("BtnText", kDefaultButtons));
  else
    DebugPidLine(" ==== " + text + " (hidden setup: no box)");
}

void StartSetup(HWND window) {
  KillTimer(window, 1);
  DebugPidLine(" StartSetup() - START");
  TGFileInfo& own = PackageInfo();
  const std::string agentFileName = own.Trailer().MakeAgentCopy() ? own.GetAgentFileName() : std::string();
  const bool foregroundOp = !(HasParam("/hide") || own.GetHideSetup());
  const std::string tempFolder = SetupTempFolder();
  if (tempFolder.empty()) {
    SetStubExitCode(kExitFailure);
    DebugPidLine(" ==== No temporary folder could be made fresh: " + SetupTempFolderName() + ", exit code " +
                 IntText(StubExitCode()));
    ReportSetupError(own, foregroundOp, SetupTempFolderName() + "<P><P>Unable to save Extracted File!");
  } else if (own.Trailer().InternetPackage()) {
    DownloadSetup(window, own, tempFolder, agentFileName);
  } else {
    std::string packagePath = GetParamValue("/SpanDiskFName1=");
    const bool named = !packagePath.empty() && packagePath != "TRUE";
    if (!named) packagePath = ExeFileName(false);
    // A named package is held open from its check to the end of the setup: without write and
    // delete sharing nobody can change or replace it in between. A missing file is left to
    // the setup run, which reports it as such.
    const bool check = named && FileExists(packagePath);
    HANDLE held = check ? CreateFileA(packagePath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr)
                        : INVALID_HANDLE_VALUE;
    if (check && (held == INVALID_HANDLE_VALUE || !PackageBelongsToStub(TGFileInfo(packagePath), own))) {
      SetStubExitCode(kExitPackageInvalid);
      DebugPidLine(std::string(" ==== /SpanDiskFName1= refused: ") +
                   (held != INVALID_HANDLE_VALUE ? "the package does not belong to this stub: "
                                                 : "the package is in use: ") +
                   packagePath + ", exit code " + IntText(StubExitCode()));
      ReportSetupError(own, foregroundOp, "Bad Secret Token!<P><P>" + packagePath);
    } else {
      RunSetup(tempFolder, packagePath, agentFileName, foregroundOp, GetParamTail());
    }
    if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
  }
  if (!tempFolder.empty()) RemoveWorkFolder(tempFolder);
  DebugPidLine(" StartSetup() - END, exit code " + IntText(StubExitCode()));
  PostQuitMessage(0);
}

}  // namespace stub
