#include <windows.h>

#include "autoupdate/StubGlob.h"

#include <vector>

#include "autoupdate/DescriptionFiles.h"
#include "package/GFileInfo.h"
#include "support/Files.h"
#include "support/ShellDir.h"
#include "support/Utils.h"
#include "support/VDebug.h"

namespace stub {

std::string InfoFile() { return InfoFileIn(ExeFolder(true), PackageInfo().GetInfoFileName()); }
std::string OriginalFile() { return OriginalFileIn(ExeFolder(true), PackageInfo().GetInfoFileName()); }

// A read of a file that has no name gives the default: an empty name would make the system
// read its own win.ini instead.
static std::string Read(const std::string& file, const char* section, const char* key, const char* def) {
  return file.empty() ? std::string(def) : ReadIniString(file, section, key, def);
}

std::string StartUpLink() { return Read(OriginalFile(), "UnInstall", "StartUpLink", ""); }
std::string CheckforNewUpdateLink() { return Read(OriginalFile(), "UnInstall", "CheckforNewUpdateLink", ""); }

bool RemoveStartUpShortcut() { return Read(InfoFile(), "NewSetup", "RemoveStartUpShortcut", "0") == "1"; }
bool RemoveCheckForNewUpdateShortcut() {
  return Read(InfoFile(), "NewSetup", "RemoveCheckForNewUpdateShortcut", "0") == "1";
}

ProductShortcuts NoteProductShortcuts() {
  ProductShortcuts noted;
  // Only an agent copy lives in the installed product's folder. A setup file started from
  // Downloads or a shared disk would read description files that anybody could put beside it.
  if (!PackageInfo().Trailer().AgentCopy()) return noted;
  noted.startUp = StartUpLink();
  noted.check = CheckforNewUpdateLink();
  return noted;
}

// The folders a product's shortcuts may be removed from.
static std::vector<std::string> ShortcutFolders() {
  std::vector<std::string> folders;
  for (ShellFolder folder : {ShellFolder::UserStartupDir, ShellFolder::AllUsersStartupDir,
                             ShellFolder::UserStartProgramMenuDir, ShellFolder::AllUsersStartProgramMenuDir})
    folders.push_back(ShellDir(folder, false));
  return folders;
}

static void RemoveShortcut(const std::string& path) {
  if (path.empty() || !FileExists(path)) return;
  if (!IsRemovableShortcut(path, ShortcutFolders())) {
    DebugPidLine(" Shortcut not removed, not a shortcut in a Startup or Programs folder: " + path);
    return;
  }
  const bool removed = DeleteFileA(path.c_str()) != FALSE;
  DebugPidLine(std::string(removed ? " Shortcut removed: " : " Shortcut not removed: ") + path);
}

void RemoveProductShortcuts(const ProductShortcuts& noted) {
  // Nothing noted, not even by an agent copy: the .info file need not be read either.
  if (noted.startUp.empty() && noted.check.empty()) return;
  if (RemoveStartUpShortcut()) RemoveShortcut(noted.startUp);
  if (RemoveCheckForNewUpdateShortcut()) RemoveShortcut(noted.check);
}

}  // namespace stub
