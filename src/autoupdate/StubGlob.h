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

// The shortcuts as the installed product knows them before a setup, which may rewrite the
// description files; after a setup that succeeded, the ones the .info file asks to remove go.
// Only an agent copy, which lives in the product's folder, reads them, and only .lnk files in
// the user's or all users' Startup and Programs folders are removed.
struct ProductShortcuts {
  std::string startUp;
  std::string check;
};
ProductShortcuts NoteProductShortcuts();
void RemoveProductShortcuts(const ProductShortcuts& noted);

}  // namespace stub
