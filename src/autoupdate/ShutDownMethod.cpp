#include "autoupdate/ShutDownMethod.h"

namespace stub {

ShutDownMethod ParseShutDownMethod(const std::string& value) {
  static const struct {
    const char* text;
    ShutDownMethod method;
  } kMethods[] = {
      {"Issue a Message Box", ShutDownMethod::kMessageBox}, {"Using WM_CLOSE", ShutDownMethod::kClose},
      {"Using WM_QUIT", ShutDownMethod::kQuit},           {"Using Terminate Process", ShutDownMethod::kTerminate},
      {"Don't Shut Down", ShutDownMethod::kNone},
  };
  for (const auto& m : kMethods)
    if (value == m.text) return m.method;
  return ShutDownMethod::kWaitOnly;
}

}  // namespace stub
