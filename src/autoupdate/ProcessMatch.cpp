#include "autoupdate/ProcessMatch.h"

#include <algorithm>
#include <utility>

#include "support/Text.h"

namespace stub {

bool ProcessMatches(const ProcessFacts& process, const std::string& wanted, const std::string& wantedShort,
                    bool strict) {
  // Stand-ins that match nothing: a name in strict matching, and a short form that one side
  // lacks (an unreadable process must not match a missing file through two empty texts).
  const std::string name = strict ? "*X*" : process.fileName;
  const std::string wantedShortForm = wantedShort.empty() ? "*XX*" : wantedShort;
  if (process.fullPath.empty() && process.fileName.empty()) return false;
  return SameTextTrim(process.fullPath, wanted) || SameTextTrim(name, wanted) ||
         SameTextTrim(process.shortPath, wantedShortForm);
}

std::vector<uint32_t> ScoreWindows(const std::vector<WindowFacts>& windows) {
  // (handle, index) sorted by handle: a process may have thousands of windows.
  std::vector<std::pair<uintptr_t, size_t>> byHandle;
  for (size_t i = 0; i < windows.size(); ++i) byHandle.emplace_back(windows[i].handle, i);
  std::sort(byHandle.begin(), byHandle.end());
  std::vector<uint32_t> scores(windows.size(), 0);
  for (const WindowFacts& w : windows) {
    if (!w.rootOwner) continue;
    auto owner = std::lower_bound(byHandle.begin(), byHandle.end(), std::make_pair(w.rootOwner, size_t(0)));
    if (owner != byHandle.end() && owner->first == w.rootOwner) ++scores[owner->second];
  }
  for (size_t i = 0; i < windows.size(); ++i) {
    scores[i] <<= 2;
    if (windows[i].titled) scores[i] += 2;
    if (windows[i].visible) scores[i] += 1;
  }
  return scores;
}

int ChooseMainWindow(const std::vector<uint32_t>& scores) {
  int best = -1;
  uint32_t bestScore = 0;
  for (size_t i = 0; i < scores.size(); ++i) {
    if (scores[i] > bestScore) {
      bestScore = scores[i];
      best = static_cast<int>(i);
    }
  }
  return best;
}

}  // namespace stub
