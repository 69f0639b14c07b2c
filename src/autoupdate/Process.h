// Control of other processes and their windows.
#pragma once

#include <windows.h>

#include <string>

namespace stub {

// Waits while a top-level window of the class (and title, when given) exists, looking every
// 100 ms and serving this thread's messages in between.
void WaitWhileWindowExists(const std::string& className, const std::string& title);

}  // namespace stub
