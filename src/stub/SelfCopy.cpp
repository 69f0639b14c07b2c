#include <windows.h>

#include "stub/SelfCopy.h"

#include "autoupdate/Process.h"
#include "package/ExitCodes.h"
#include "package/GFileInfo.h"
#include "package/SetupPlan.h"
#include "package/StubSetup.h"
#include "stub/SelfCopyPlan.h"
#include "stub/Stub.h"
#include "support/Files.h"
#include "support/Utils.h"
#include "support/VDebug.h"

namespace stub {

// Limits of the waits for processes of our own that we cannot hurry: a resident copy asked
// to end before a restart replaces its file, the batch that then deletes that file, and a new
// copy's window, which the plain agent's commands need.
static const DWORD kOldCopyEndMs = 30000;
static const DWORD kOldCopyFileGoneMs = 5000;
static const DWORD kNewCopyWindowMs = 3000;
static const int64_t kMostWaitSeconds = 3600;

std::string ResidentCopyPath(const std::string& ownPath) { return FolderPart(ownPath) + "X_" + FileNamePart(ownPath); }

bool StartHidden(const std::string& commandLine) {
  const UINT result = WinExec(commandLine.c_str(), SW_HIDE);
  if (result > 31) return true;
  DebugPidLine(" WinExec failed (" + IntText(result) + "): " + commandLine);
  return false;
}

// Serves messages while the condition holds, at most limitMs; true when it stopped holding.
template <class Condition>
static bool WaitWhile(Condition holds, DWORD limitMs) {
  const DWORD start = GetTickCount();
  while (holds()) {
    if (GetTickCount() - start > limitMs) return false;
    WaitPumping(0, 200);
  }
  return true;
}

// A restart starts while the old resident copy is still asked to end. Copying over its file
// before it has gone fails; copying before its batch file has deleted that file lets the
// batch delete the new copy instead.
static void WaitForOldCopy(const std::string& xPath) {
  if (!FindProcess(xPath, true)) return;
  if (!WaitWhile([&] { return FindProcess(xPath, true) != 0; }, kOldCopyEndMs)) {
    WriteLog("The old X_ process still runs");
    return;
  }
  WaitWhile([&] { return FileExists(xPath); }, kOldCopyFileGoneMs);
}

static bool SameContent(const std::string& a, const std::string& b) {
  const std::string first = ReadFilePart(a, 0, 0);
  return !first.empty() && first == ReadFilePart(b, 0, 0);
}

void CreateAndRun_X_Exe() {
  WriteLog("CreateAndRun_X_Exe() --- Start");
  const std::string restart = GetParamValue("/_ZZ=");
  DebugPidLine(" CreateAndRun_X_Exe-1 " + restart);
  const std::string own = ExeFileName(false);
  const bool restarting = restart == "99";
  if (ThisIs_AutoUpdateProg() && (restarting || !X_ExeIsRunning()) &&
      SameTextTrim(FileNamePart(own), PackageInfo().GetAgentFileName())) {
    DebugPidLine(" CreateAndRun_X_Exe-2");
    const std::string xPath = ResidentCopyPath(own);
    int64_t wait = GetParamInt("/WAIT=", 0);
    if (wait < 0) wait = 0;
    if (wait > kMostWaitSeconds) wait = kMostWaitSeconds;
    WriteLog(Format("Wait %d SEC", static_cast<int>(wait)));
    WaitPumping(0, static_cast<unsigned>(wait * 1000));
    if (restarting) WaitForOldCopy(xPath);

    const bool copied = CopyFileA(own.c_str(), xPath.c_str(), FALSE) != FALSE;
    WriteLog(copied ? "Create X_ File " : "Create X_ File failed: " + SysErrorText());
    // Only a file that is this agent byte for byte is started: a failed copy may have left an
    // older agent there, or a file that someone else put there.
    if (!SameContent(own, xPath)) {
      WriteLog("The X_ file is not this agent; it is not started: " + xPath);
    } else {
      const std::string command = ProgramCommand(
          xPath, Trim(ResidentCopyArguments(GetParamValue("/TRANSIENT="), GetParamValue("/DELAY="))));
      WriteLog("WinExec: " + command);
      // The commands forwarded next need the copy's window, not just its process.
      if (StartHidden(command) && !GetParamTail().empty())
        WaitWhile([&] { return FindMainWindow(xPath, true) == nullptr; }, kNewCopyWindowMs);
    }
  }
  WriteLog("CreateAndRun_X_Exe() --- End");
}

void RelaunchFromTempCopy() {
  const std::string own = ExeFileName(false);
  // A second start while the copy of the first runs ends at once: making the temporary folder
  // afresh would delete what that copy is extracting. Its window class is its path.
  const std::string running = SetupTempFolderName() + "\\Y_" + FileNamePart(own);
  if (FindWindowA(running.c_str(), nullptr)) {
    DebugPidLine(" Relaunch: the temporary copy runs already: " + running);
    SetStubExitCode(kExitAlreadyRunning);
    return;
  }
  // Made fresh, under another name when something else is in the way.
  const std::string folder = SetupTempFolder();
  const std::string copy = folder + "\\Y_" + FileNamePart(own);
  WriteLog("Relaunch from a temporary copy: " + copy);
  if (!FileExists(own + ".001")) DebugPidLine(" Relaunch: the first disk file is missing: " + own + ".001");
  if (folder.empty() || !CopyFileA(own.c_str(), copy.c_str(), FALSE)) {
    DebugPidLine(" Relaunch: the temporary copy could not be written: " + copy + " " + SysErrorText());
    DeleteTree(folder, false);
    SetStubExitCode(kExitFailure);
    return;
  }
  const std::string command = ProgramCommand(copy, RelaunchArguments(GetParamTail(), own));
  DebugPidLine(" Relaunch: " + command);
  if (!StartHidden(command)) {
    DebugPidLine(" Relaunch: the temporary copy could not be started");
    DeleteTree(folder, false);
    SetStubExitCode(kExitFailure);
    return;
  }
  SetStubExitCode(kExitSuccess);
}

void DeleteMySelf(bool removeFolder) {
  DeleteMeBatch batch;
  batch.exe = ExeFileName(false);
  batch.folder = StripSlash(FolderPart(batch.exe));
  batch.removeFolder = removeFolder;
  batch.path = DeleteMeBatchPath(TempFolder(true), GetCurrentProcessId());
  batch.ping = SystemFolder(true) + "PING.EXE";
  // The running file's folder must not stay held as this process's current folder.
  SetCurrentDirectoryA(TempFolder(false).c_str());
  if (!SaveToNewFile(batch.path, DeleteMeBatchText(batch))) {
    DebugPidLine(" DeleteMySelf: the batch file could not be written, nothing is started: " + batch.path);
    return;
  }
  DebugPidLine(" DeleteMySelf: " + batch.path);
  StartHidden(ProgramCommand(batch.path, ""));
}

}  // namespace stub
