#include <windows.h>

#include "support/SystemLibs.h"

#include "support/Utils.h"

namespace stub {

typedef BOOL(WINAPI* SetDefaultDllDirectoriesFn)(DWORD);
typedef BOOL(WINAPI* SetDllDirectoryFn)(LPCSTR);
typedef void(WINAPI* InitCommonControlsFn)();

// LOAD_LIBRARY_SEARCH_SYSTEM32, newer than the headers this is built with.
static const DWORD kSearchSystemFolderOnly = 0x00000800;

// Loaded by name by the common controls, the rich-text control, the shell and the security
// and internet libraries once they run; the stub's own libraries (WinINet, winmm, PSAPI,
// SHFolder) are loaded by full path when first used. A name the system lacks is skipped.
const char* const kPreloadedLibraries[] = {
    "uxtheme.dll", "dwmapi.dll",  "riched20.dll", "riched32.dll", "usp10.dll",  "msls31.dll",
    "version.dll", "userenv.dll", "profapi.dll",  "cryptbase.dll", "sspicli.dll", "apphelp.dll",
    "propsys.dll", "ntmarta.dll", "oleacc.dll",   "secur32.dll",
};
const char* const kSystemFolderOnly = "system folder only";
const size_t kPreloadedLibraryCount = sizeof kPreloadedLibraries / sizeof kPreloadedLibraries[0];

std::string RestrictLibrarySearch() {
  std::string how;
  HMODULE kernel = LoadFromSystemFolder("kernel32.dll");
  SetDefaultDllDirectoriesFn setDefault =
      kernel ? reinterpret_cast<SetDefaultDllDirectoriesFn>(
                   reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")))
             : nullptr;
  SetDllDirectoryFn setDirectory =
      kernel ? reinterpret_cast<SetDllDirectoryFn>(reinterpret_cast<void*>(GetProcAddress(kernel, "SetDllDirectoryA")))
             : nullptr;
  if (setDefault && setDefault(kSearchSystemFolderOnly)) {
    how = kSystemFolderOnly;
  } else if (setDirectory && setDirectory("")) {
    // Older systems: the program's folder stays in the search, the current folder does not;
    // the loads ahead below are what keeps a planted library out there.
    how = "without the current folder";
  } else {
    how = "unchanged";
  }
  const UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  for (size_t i = 0; i < kPreloadedLibraryCount; ++i) LoadFromSystemFolder(kPreloadedLibraries[i]);
  SetErrorMode(oldMode);
  return how;
}

bool LoadCommonControls() {
  HMODULE library = LoadLibraryA("comctl32.dll");
  InitCommonControlsFn init =
      library ? reinterpret_cast<InitCommonControlsFn>(
                    reinterpret_cast<void*>(GetProcAddress(library, "InitCommonControls")))
              : nullptr;
  if (init) init();
  return init != nullptr;
}

}  // namespace stub
