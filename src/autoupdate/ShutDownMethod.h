// How the agent stops the running product before an update: the [NewSetup] ShutDownMethod
// value of the update description, read exactly as the vendor's tool writes it.
#pragma once

#include <string>

namespace stub {

enum class ShutDownMethod {
  kMessageBox,  // "Issue a Message Box": ask the user until the product has been closed
  kClose,       // "Using WM_CLOSE"
  kQuit,        // "Using WM_QUIT"
  kTerminate,   // "Using Terminate Process"
  kNone,        // "Don't Shut Down": install over the running product
  kWaitOnly,    // anything else (empty, other letter case, a typo): wait for the product to end
};

ShutDownMethod ParseShutDownMethod(const std::string& value);

}  // namespace stub
