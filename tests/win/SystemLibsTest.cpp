#include <windows.h>

#include <gtest/gtest.h>

#include "support/Text.h"
#include "support/SystemLibs.h"
#include "support/Utils.h"

using namespace stub;

// Every library loaded ahead, and every one the stub binds at run time, is the system
// folder's own file.
TEST(SystemLibs, LibrariesComeFromTheSystemFolder) {
  EXPECT_STREQ(RestrictLibrarySearch().c_str(), kSystemFolderOnly);
  ASSERT_TRUE(LoadCommonControls());
  EXPECT_NE(LoadProc("winmm.dll", "timeBeginPeriod"), nullptr);
  EXPECT_NE(LoadFromSystemFolder("WinINet.dll"), nullptr);
  const std::string system = UpperCase(SystemFolder(true));
  std::vector<std::string> names(kPreloadedLibraries, kPreloadedLibraries + kPreloadedLibraryCount);
  names.insert(names.end(), {"winmm.dll", "WinINet.dll", "comctl32.dll"});
  int loaded = 0;
  for (const std::string& name : names) {
    HMODULE module = GetModuleHandleA(name.c_str());
    if (!module) continue;  // not on this system
    ++loaded;
    char path[MAX_PATH] = {};
    GetModuleFileNameA(module, path, MAX_PATH);
    // The common controls of version 6 may come from the side-by-side store instead.
    if (name == "comctl32.dll" && UpperCase(path).find("WINSXS") != std::string::npos) continue;
    EXPECT_EQ(UpperCase(path).rfind(system, 0), 0u) << name << " from " << path;
  }
  EXPECT_GE(loaded, 8);
}
