// The resident agent's update cycle, run by the stub window's timer (see UpdateCycle.h): the
// schedule, test mode, the probe of the update description and the update check. An
// accepted check hands over to the installation or the announcement.
#pragma once

#include <string>

namespace stub {

// One timer tick of the resident agent (see RunAgentTick).
void AgentTick();

// Refreshes test mode from the registry (see TestModeReadDue) and returns whether it is on.
bool CheckTestMode(bool force);
const std::string& TestModeURL();

}  // namespace stub
