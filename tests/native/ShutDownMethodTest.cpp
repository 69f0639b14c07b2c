#include "autoupdate/ShutDownMethod.h"

#include <gtest/gtest.h>

namespace stub {

TEST(ShutDownMethod, OnlyTheExactTextsNameAMethod) {
  const struct {
    const char* value;
    ShutDownMethod method;
  } cases[] = {
      {"Issue a Message Box", ShutDownMethod::kMessageBox},
      {"Using WM_CLOSE", ShutDownMethod::kClose},
      {"Using WM_QUIT", ShutDownMethod::kQuit},
      {"Using Terminate Process", ShutDownMethod::kTerminate},
      {"Don't Shut Down", ShutDownMethod::kNone},
      // Another letter case, a blank too many, nothing: no request, only the wait.
      {"using wm_close", ShutDownMethod::kWaitOnly},
      {"Using WM_CLOSE ", ShutDownMethod::kWaitOnly},
      {"Dont Shut Down", ShutDownMethod::kWaitOnly},
      {"", ShutDownMethod::kWaitOnly},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseShutDownMethod(c.value), c.method) << "\"" << c.value << "\"";
}

}  // namespace stub
