// The update description files as the running program sees them: their paths next to the
// program and one read per key. Every read opens its file anew; nothing is cached.
#pragma once

#include <string>

namespace stub {

std::string InfoFile();
std::string OriginalFile();

// [UnInstall] of the .original file: the product's shortcuts, as its installation made them.
std::string StartUpLink();
std::string CheckforNewUpdateLink();

// [NewSetup] of the .info file: whether a successful setup deletes those shortcuts.
bool RemoveStartUpShortcut();
bool RemoveCheckForNewUpdateShortcut();

}  // namespace stub
