// The decisions of process control that need no system: whether a listed process matches a
// requested file, and which of a process's top-level windows is its main window.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace stub {

// What the listing says about one process. An entry whose process could not be read has
// empty texts and never matches.
struct ProcessFacts {
  std::string fullPath;   // the executable's path as the system lists it
  std::string fileName;   // its file-name part
  std::string shortPath;  // the 8.3 form of fullPath; empty when there is none
};

// Strict matching (for operations that act on the process) ignores the file name, so that a
// program of the same name in another folder is never posted to or terminated. wantedShort
// is the 8.3 form of the wanted path, empty when it has none (the file does not exist).
bool ProcessMatches(const ProcessFacts& process, const std::string& wanted, const std::string& wantedShort,
                    bool strict);

// One top-level window of the process, in enumeration order.
struct WindowFacts {
  uintptr_t handle = 0;
  uintptr_t rootOwner = 0;  // the last window of its owner chain; 0 without owner
  bool titled = false;
  bool visible = false;
};

// Scores in window order: one point for each collected window the window owns (directly or
// through a chain), shifted left by 2, then 2 for a title and 1 for visibility.
std::vector<uint32_t> ScoreWindows(const std::vector<WindowFacts>& windows);
// Index of the first window with the highest score; -1 when every score is 0.
int ChooseMainWindow(const std::vector<uint32_t>& scores);

}  // namespace stub
