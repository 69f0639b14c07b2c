#include <windows.h>

#include "autoupdate/Process.h"

#include "support/Utils.h"

namespace stub {

void WaitWhileWindowExists(const std::string& className, const std::string& title) {
  const char* name = title.empty() ? nullptr : title.c_str();
  while (FindWindowA(className.c_str(), name)) WaitPumping(0, 100);
}

}  // namespace stub
