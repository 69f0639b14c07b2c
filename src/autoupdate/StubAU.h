// The resident agent's update cycle, run by the stub window's timer. This build carries the
// tick and the test mode; a probe that falls due says that the update cycle is not built yet.
#pragma once

#include <string>

namespace stub {

// One timer tick of the resident agent (see RunAgentTick).
void AgentTick();

// Refreshes test mode from the registry (see TestModeReadDue) and returns whether it is on.
bool CheckTestMode(bool force);
const std::string& TestModeURL();

}  // namespace stub
