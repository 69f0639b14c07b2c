// The stub window: a small hidden top-level window with a status text, a file progress bar
// and an activity bar, a one-second timer that starts the work, and the message loop that
// every role with work runs in.
#pragma once

#include <windows.h>

#include <string>

namespace stub {

// Creates the window, runs the loop until the work ends, tidies up. The window attaches itself
// as the setup runs' host (package/StubSetup.h), through which they reach its controls and
// status text.
void WinMain();
void DestroyMainWindow();
bool CloseMainWindow();

}  // namespace stub
