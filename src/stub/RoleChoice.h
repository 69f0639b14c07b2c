// Which role a stub process plays, from the facts start-up gathers: its package's agent
// mark, its own file name, the agent file name of its settings, its command line and
// whether its window class is already taken.
#pragma once

#include <cstdint>
#include <string>

namespace stub {

enum class StubRole {
  AlreadyRunning,  // a window of the class exists: a second start ends at once
  PlainAgent,      // makes and starts the resident copy
  ResidentAgent,   // "X_" + agent file name: runs the update cycle
  Relaunch,        // a split package copies itself to the temporary folder and runs the copy
  Setup,           // the stub window: setup, or the agent's timer work under another name
};

struct RoleFacts {
  bool agentCopy = false;          // the trailer's AgentCopy byte is not 0
  std::string ownFileName;         // file name of the own path
  std::string agentFileName;       // settings field 2
  bool classWindowExists = false;  // a top-level window of the stub class exists
  bool runFromTempCopy = false;    // trailer flag
  int64_t spanCdLevel = 1;         // "/SpanCdLvl=", default 1
};

bool IsPlainAgent(const RoleFacts& facts);
bool IsResidentAgent(const RoleFacts& facts);
bool IsRelaunch(const RoleFacts& facts);
bool IsTempCopy(const RoleFacts& facts);
StubRole ChooseRole(const RoleFacts& facts);
const char* RoleName(StubRole role);

// ".AutoUpdate." + own file name without its last extension for agent copies; the full own
// path otherwise, so that two starts of the same setup file share one window class.
std::string StubClassNameFor(bool agentCopy, const std::string& ownPath);
// Class of the resident copy's window: ".AutoUpdate.X_" + agent file name without extension.
std::string ResidentClassNameFor(const std::string& agentFileName);

}  // namespace stub
