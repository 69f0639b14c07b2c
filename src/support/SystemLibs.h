// Where the stub's libraries come from. The stub runs elevated from folders that others can
// write (Downloads, %TEMP%, removable disks), and a DLL planted there under a system
// library's name would run with its rights: every library comes from the system folder.
#pragma once

#include <string>

namespace stub {

// Called first at start, before any window: restricts the DLL search of the process to the
// system folder (SetDefaultDllDirectories where the system has it, else at least the current
// folder is taken out of the search), then loads by full path the system libraries that
// system components load later by name, so that those loads find them loaded. Returns how
// the search was restricted, for the debug line.
std::string RestrictLibrarySearch();
extern const char* const kSystemFolderOnly;  // its answer when the search is the system folder's alone

// InitCommonControls, bound at run time: a static import of the common controls would be
// loaded, with the theme library they use, before the program could restrict the search.
// The library is named without a path, as the manifest's side-by-side version 6 is found by
// name only; by then the search reaches the system's folders alone. False when missing.
bool LoadCommonControls();

// The libraries loaded ahead by RestrictLibrarySearch.
extern const char* const kPreloadedLibraries[];
extern const size_t kPreloadedLibraryCount;

}  // namespace stub
