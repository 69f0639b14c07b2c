#include <windows.h>

#include "stub/Stub.h"

#include "autoupdate/AgentControl.h"
#include "autoupdate/AgentOverrides.h"
#include "autoupdate/Process.h"
#include "autoupdate/StubAU.h"
#include "package/ExitCodes.h"
#include "package/GFileInfo.h"
#include "package/StubSetup.h"
#include "stub/RoleChoice.h"
#include "stub/SelfCopy.h"
#include "stub/StubWin.h"
#include "support/Files.h"
#include "support/SystemLibs.h"
#include "support/Utils.h"
#include "support/VDebug.h"
#include "support/VSUB.h"
#include "ui/VMsgBox.h"

namespace stub {

// Start-up state: whether the own package is an agent copy, and the window class.
static bool g_isAutoUpdateProg = false;
static std::string g_stubClassName;

bool ThisIs_AutoUpdateProg() { return g_isAutoUpdateProg; }
const std::string& StubClassName() { return g_stubClassName; }

static RoleFacts GatherFacts() {
  RoleFacts facts;
  facts.agentCopy = g_isAutoUpdateProg;
  facts.ownFileName = FileNamePart(ExeFileName(false));
  facts.agentFileName = PackageInfo().GetAgentFileName();
  facts.runFromTempCopy = PackageInfo().Trailer().RunFromTempCopy();
  facts.spanCdLevel = GetParamInt("/SpanCdLvl=", 1);
  return facts;
}

bool X_ExeIsRunning() {
  return FindWindowA(ResidentClassNameFor(PackageInfo().GetAgentFileName()).c_str(), nullptr) != nullptr;
}

bool ThisIs_Plain_AutoUpdate_Exe() { return IsPlainAgent(GatherFacts()); }
bool ThisIs_X_AutoUpdate_Exe() { return IsResidentAgent(GatherFacts()); }

// "/TRANSIENTx=": the overrides a plain agent hands its new resident copy. The copy applies
// them at start, so that a restarted agent keeps those of the agent it replaces.
static void ApplyCommandLineOverrides() {
  const std::string overrides = GetParamValue("/TRANSIENTx=");
  if (overrides.empty()) return;
  ApplyOverrideList(overrides);
  WriteLog("Overrides=" + OverrideList());
}

bool HandleParamOK(bool xWasRunning) {
  WriteLog("HandleParamOK() --- Start");
  const std::string own = ExeFileName(false);
  const std::string xPath = ResidentCopyPath(own);
  bool handed = false;

  int64_t stop = GetParamInt("/STOP=", -1);
  if (stop >= 0 && FileExists(xPath)) {
    WriteLog("PostProcessMessage(wm_ShutDown) to: " + xPath);
    PostProcessMessage(xPath, wm_ShutDown, static_cast<WPARAM>(stop), 0);
    handed = true;
  }

  std::string message = GetParamValue("/WM_MSG=");
  if (!message.empty() && FileExists(xPath)) {
    std::string list = ":" + message + ":";
    int64_t window = SubGetInt(list, 0, 0), number = SubGetInt(list, 1, 0);
    WriteLog("PostProcessMessage(wm_LocalMsg) to: " + xPath + " - " + list);
    PostProcessMessage(xPath, wm_LocalMsg, static_cast<WPARAM>(window), static_cast<LPARAM>(number));
    handed = true;
  }

  int64_t test = GetParamInt("/TEST=", -1);
  if (test >= 0 && FileExists(xPath)) {
    WriteLog("PostProcessMessage(wm_AgentMsg) to: " + xPath + " - AU_PerformUpdateCycle (" + IntText(test) + ")");
    PostProcessMessage(xPath, wm_AgentMsg, kCommandUpdateCycle, static_cast<LPARAM>(test));
    // A resident copy started only for this test quits two ticks later.
    if (!xWasRunning && test > 0) PostProcessMessage(xPath, wm_ShutDown, 2, 0);
    handed = true;
  }

  ApplyCommandLineOverrides();
  WriteLog("HandleParamOK() --- End");
  return handed;
}

// The work of each role. An agent copy under a name of its own takes the setup branch: its
// window runs the agent's tick under its own class, and it is not deleted.
static void RunRoleBranch(StubRole role, const RoleFacts& facts) {
  switch (role) {
    case StubRole::PlainAgent:
      CreateAndRun_X_Exe();
      break;
    case StubRole::ResidentAgent:
      WriteLog("CheckTestMode");
      CheckTestMode(true);
      ApplyCommandLineOverrides();
      WriteLog("WinMain");
      WinMain();
      WriteLog("DeleteMySelf");
      DeleteMySelf(false);
      break;
    case StubRole::Relaunch:
      RelaunchFromTempCopy();
      break;
    case StubRole::Setup:
      WinMain();
      if (IsTempCopy(facts)) DeleteMySelf(true);
      break;
    case StubRole::AlreadyRunning:
      // A deployment tool that started the same setup twice learns that it is running.
      if (!g_isAutoUpdateProg) SetStubExitCode(kExitAlreadyRunning);
      break;
  }
}

void DoRunStubWin() {
  WriteLog("DoRunStubWin() --- Start");
  g_stubClassName = StubClassNameFor(g_isAutoUpdateProg, ExeFileName(false));
  const bool xWasRunning = X_ExeIsRunning();
  WriteLog(std::string("X_ExeIsRunning=") + BoolText(X_ExeIsRunning()));
  WriteLog(std::string("ThisIs_Plain_AutoUpdate_Exe=") + BoolText(ThisIs_Plain_AutoUpdate_Exe()));
  WriteLog(std::string("ThisIs_X_AutoUpdate_Exe=") + BoolText(ThisIs_X_AutoUpdate_Exe()));

  RoleFacts facts = GatherFacts();
  facts.classWindowExists = FindWindowA(g_stubClassName.c_str(), nullptr) != nullptr;
  StubRole role = ChooseRole(facts);
  DebugPidLine(std::string(" ==== Role=") + RoleName(role) + " Class=" + g_stubClassName);
  RunRoleBranch(role, facts);

  if (IsPlainAgent(facts)) HandleParamOK(xWasRunning);
  WriteLog("DoRunStubWin() --- End");
}

int StubMainBody() {
  // Before anything can load a library by name.
  const std::string librarySearch = RestrictLibrarySearch();
  const bool librarySearchRestricted = librarySearch == kSystemFolderOnly;
  const std::string commandLine = GetCommandLineA();
  const std::string own = ExeFileName(false);
  DebugPidLine(" ==== STUB START ====> " + commandLine + "<");
  // Said only where the system could not restrict the search to its own folder.
  if (!librarySearchRestricted) DebugPidLine(" ==== Library search: " + librarySearch);
  InitMsgBox();

  g_isAutoUpdateProg = PackageInfo().Trailer().AgentCopy();
  SetLogEnabled(g_isAutoUpdateProg && PackageInfo().Trailer().LogFlag());
  if (ThisIs_X_AutoUpdate_Exe()) SetLogPrefix(" X ");

  WriteLog("");
  WriteLog("");
  WriteLog("=== START === " + own);
  WriteLog("CommandLine=" + commandLine);
  WriteLog("Agent Version=" + FileVersionText(""));
  DebugPidLine(std::string(" ==== ThisIs_AutoUpdateProg=") + BoolText(g_isAutoUpdateProg));

  DoRunStubWin();

  ClosePackageInfo();
  DebugPidLine(" ==== STUB END ====> " + commandLine + "<");
  DebugLine("");
  WriteLog("=== EXIT === " + own);
  WriteLog("");
  DoneMsgBox();
  return static_cast<int>(StubExitCode());
}

}  // namespace stub
