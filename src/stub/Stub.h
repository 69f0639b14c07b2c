// Start-up: the main body, the choice of role and the forwarding of the plain agent's
// command-line switches to the resident copy (autoupdate/AgentControl.h has the protocol).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace stub {

bool ThisIs_AutoUpdateProg();
const std::string& StubClassName();

bool X_ExeIsRunning();
bool ThisIs_Plain_AutoUpdate_Exe();
bool ThisIs_X_AutoUpdate_Exe();

int StubMainBody();
void DoRunStubWin();
bool HandleParamOK(bool xWasRunning);

}  // namespace stub
