#include <windows.h>

#include "stub/Stub.h"

#include <memory>

#include "autoupdate/AgentOverrides.h"
#include "package/ExitCodes.h"
#include "stub/RoleChoice.h"
#include "stub/StubWin.h"
#include "support/Files.h"
#include "support/Utils.h"
#include "support/VDebug.h"
#include "support/VSUB.h"
#include "ui/VMsgBox.h"

namespace stub {

// Start-up state: the own package, whether it is an agent copy, and the window class.
static std::unique_ptr<TGFileInfo> g_packageInfo;
static bool g_isAutoUpdateProg = false;
static std::string g_stubClassName;
static AgentControlState g_agentState;

AgentControlState& AgentState() { return g_agentState; }

TGFileInfo& PackageInfo() {
  if (!g_packageInfo) g_packageInfo.reset(new TGFileInfo(ExeFileName(false)));
  return *g_packageInfo;
}

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

bool PostToStubWindow(const std::string& path, UINT message, WPARAM wParam, LPARAM lParam) {
  HWND window = FindWindowA((".AutoUpdate." + NameWithoutExt(path, false)).c_str(), nullptr);
  if (!window) return false;
  return PostMessageA(window, message, wParam, lParam) != 0;
}

void Notify(WPARAM code, LPARAM value) {
  if (!g_agentState.NotifyWindow || !g_agentState.NotifyMessage) return;
  PostMessageA(g_agentState.NotifyWindow, g_agentState.NotifyMessage, code, value);
}

int32_t AgentCommand(int32_t command, int32_t argument) {
  switch (command) {
    case 7:
      return g_agentState.AgentActivity;
    case 20: case 21: case 22: case 23: case 24: case 25:
      SetOverride(command - 20, static_cast<uint8_t>(argument & 0xFF));
      return 0;
    case 30:
      g_agentState.StopCountdown = argument;
      return 0;
    case 31:
      g_agentState.ShotForced = true;
      if (g_agentState.AutoUpdateTimerCount < 1) g_agentState.AutoUpdateTimerCount = 1;
      if (argument == 2) g_agentState.TestCycleMode = 2;
      return 0;
    case 32:
      g_agentState.JustDownloadInfoFile = true;
      return 0;
    default:
      // The schedule reads and writes (4, 5, 8..15) belong to the update description files,
      // which the agent does not keep yet: they answer 0.
      return 0;
  }
}

bool HandleParamOK(bool xWasRunning) {
  WriteLog("HandleParamOK() --- Start");
  const std::string own = ExeFileName(false);
  const std::string xPath = FolderPart(own) + "X_" + FileNamePart(own);
  bool handed = false;

  int64_t stop = GetParamInt("/STOP=", -1);
  if (stop >= 0 && FileExists(xPath)) {
    WriteLog("PostProcessMessage(wm_ShutDown) to: " + xPath);
    PostToStubWindow(xPath, wm_ShutDown, static_cast<WPARAM>(stop), 0);
    handed = true;
  }

  std::string message = GetParamValue("/WM_MSG=");
  if (!message.empty() && FileExists(xPath)) {
    std::string list = ":" + message + ":";
    int64_t window = SubGetInt(list, 0, 0), number = SubGetInt(list, 1, 0);
    WriteLog("PostProcessMessage(wm_LocalMsg) to: " + xPath + " - " + list);
    PostToStubWindow(xPath, wm_LocalMsg, static_cast<WPARAM>(window), static_cast<LPARAM>(number));
    handed = true;
  }

  int64_t test = GetParamInt("/TEST=", -1);
  if (test >= 0 && FileExists(xPath)) {
    WriteLog("PostProcessMessage(wm_AgentMsg) to: " + xPath + " - AU_PerformUpdateCycle (" + IntText(test) + ")");
    PostToStubWindow(xPath, wm_AgentMsg, 31, static_cast<LPARAM>(test));
    // A resident copy started only for this test quits two ticks later.
    if (!xWasRunning && test > 0) PostToStubWindow(xPath, wm_ShutDown, 2, 0);
    handed = true;
  }

  std::string overrides = GetParamValue("/TRANSIENTx=");
  if (!overrides.empty()) ApplyOverrideList(overrides);
  WriteLog("HandleParamOK() --- End");
  return handed;
}

// The work of each role. The self-copy, the relaunch, the agent's update cycle and the
// self-deletion are not part of this program yet: those branches say what they would do.
static void RunRoleBranch(StubRole role, const RoleFacts& facts) {
  const std::string own = ExeFileName(false);
  switch (role) {
    case StubRole::PlainAgent:
      WriteLog("CreateAndRun_X_Exe() --- Start");
      DebugPidLine(" CreateAndRun_X_Exe-1 " + GetParamValue("/_ZZ="));
      DebugPidLine(" ROLE PlainAgent: would copy to " + FolderPart(own) + "X_" + FileNamePart(own) +
                   " and start it");
      WriteLog("CreateAndRun_X_Exe() --- End");
      break;
    case StubRole::ResidentAgent:
      WriteLog("CheckTestMode");
      WriteLog("WinMain");
      DebugPidLine(" ROLE ResidentAgent: would run the agent window of class " + g_stubClassName);
      WriteLog("DeleteMySelf");
      break;
    case StubRole::Relaunch:
      DebugPidLine(" ROLE Relaunch: would copy itself to the temporary folder and start the copy");
      WriteLog("Relaunch from a temporary copy");
      break;
    case StubRole::Setup:
      if (g_isAutoUpdateProg) {
        DebugPidLine(" ROLE Setup: would run the stub window with the agent's timer work");
        WriteLog("WinMain");
        break;
      }
      DebugPidLine(" ROLE Setup: runs the stub window");
      WinMain();
      if (IsTempCopy(facts)) DebugPidLine(" ROLE Setup: would delete this temporary copy and its folder");
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
  const std::string commandLine = GetCommandLineA();
  const std::string own = ExeFileName(false);
  DebugPidLine(" ==== STUB START ====> " + commandLine + "<");
  InitMsgBox();

  g_packageInfo.reset(new TGFileInfo(own));
  g_isAutoUpdateProg = g_packageInfo->Trailer().AgentCopy();
  SetLogEnabled(g_isAutoUpdateProg && g_packageInfo->Trailer().LogFlag());
  if (ThisIs_X_AutoUpdate_Exe()) SetLogPrefix(" X ");

  WriteLog("");
  WriteLog("");
  WriteLog("=== START === " + own);
  WriteLog("CommandLine=" + commandLine);
  WriteLog("Agent Version=" + FileVersionText(""));
  DebugPidLine(std::string(" ==== ThisIs_AutoUpdateProg=") + BoolText(g_isAutoUpdateProg));

  DoRunStubWin();

  g_packageInfo.reset();
  DebugPidLine(" ==== STUB END ====> " + commandLine + "<");
  DebugLine("");
  WriteLog("=== EXIT === " + own);
  WriteLog("");
  DoneMsgBox();
  return static_cast<int>(StubExitCode());
}

}  // namespace stub
