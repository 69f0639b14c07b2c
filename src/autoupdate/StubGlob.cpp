#include <windows.h>

#include "autoupdate/StubGlob.h"

#include "autoupdate/DescriptionFiles.h"
#include "stub/Stub.h"
#include "support/Utils.h"

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

}  // namespace stub
