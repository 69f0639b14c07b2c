#include "stub/RoleChoice.h"

#include "support/Text.h"

namespace stub {

bool IsPlainAgent(const RoleFacts& f) { return f.agentCopy && SameTextTrim(f.ownFileName, f.agentFileName); }

bool IsResidentAgent(const RoleFacts& f) {
  return f.agentCopy && SameTextTrim(f.ownFileName, "X_" + f.agentFileName);
}

bool IsRelaunch(const RoleFacts& f) { return f.runFromTempCopy && f.spanCdLevel == 1; }
bool IsTempCopy(const RoleFacts& f) { return f.spanCdLevel == 2; }

StubRole ChooseRole(const RoleFacts& f) {
  if (f.classWindowExists) return StubRole::AlreadyRunning;
  if (IsPlainAgent(f)) return StubRole::PlainAgent;
  if (IsResidentAgent(f)) return StubRole::ResidentAgent;
  if (IsRelaunch(f)) return StubRole::Relaunch;
  return StubRole::Setup;
}

const char* RoleName(StubRole role) {
  switch (role) {
    case StubRole::AlreadyRunning: return "AlreadyRunning";
    case StubRole::PlainAgent: return "PlainAgent";
    case StubRole::ResidentAgent: return "ResidentAgent";
    case StubRole::Relaunch: return "Relaunch";
    case StubRole::Setup: return "Setup";
  }
  return "?";
}

std::string StubClassNameFor(bool agentCopy, const std::string& ownPath) {
  return agentCopy ? ".AutoUpdate." + NameWithoutExt(ownPath, false) : ownPath;
}

std::string ResidentClassNameFor(const std::string& agentFileName) {
  return ".AutoUpdate.X_" + NameWithoutExt(agentFileName, false);
}

}  // namespace stub
