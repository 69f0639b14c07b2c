#include "autoupdate/DescriptionFiles.h"

#include <cstring>

#include "package/Records.h"
#include "support/Text.h"

namespace stub {

// The file-name part of field 1. Windows takes "/" for a separator too, so "a/../../x.info"
// must not reach above the folder; a part of only dots and blanks names a folder, and "PRN"
// or "CON.info" a device, not a file.
static std::string DescriptionFileName(const std::string& infoField) {
  const std::string name = FileNamePart(ReplaceChar(infoField, '/', '\\'));
  return IsSafeRelativePath(name) ? name : std::string();
}

std::string InfoFileIn(const std::string& folder, const std::string& infoField) {
  const std::string name = DescriptionFileName(infoField);
  return name.empty() ? std::string() : folder + name;
}

std::string OriginalFileIn(const std::string& folder, const std::string& infoField) {
  const std::string name = DescriptionFileName(infoField);
  return name.empty() ? std::string() : folder + NameWithoutExt(name, true) + ".original";
}

// A path the system reads as written: drive, backslash, then names that are neither "." nor
// "..", hold no character that a name cannot hold and do not end in a dot or a blank.
static bool IsPlainFullPath(const std::string& path) {
  const char drive = UpperChar(path.empty() ? '\0' : path[0]);
  if (path.size() < 4 || drive < 'A' || drive > 'Z' || path[1] != ':' || path[2] != '\\') return false;
  size_t start = 3;  // where the current name began
  for (size_t i = 3; i <= path.size(); ++i) {
    const char c = i < path.size() ? path[i] : '\\';
    if (c == '\\') {
      const size_t length = i - start;
      const char last = length ? path[i - 1] : '.';
      if (length == 0 || last == '.' || last == ' ') return false;  // also "." and ".."
      start = i + 1;
    } else if (static_cast<unsigned char>(c) < 32 || std::strchr(":*?\"<>|/", c)) {
      return false;
    }
  }
  return true;
}

bool IsRemovableShortcut(const std::string& path, const std::vector<std::string>& folders) {
  if (!IsPlainFullPath(path) || !EndsWithText(".lnk", path, true) || FileNamePart(path).size() <= 4) return false;
  for (const std::string& folder : folders) {
    const std::string inside = FolderSlash(folder, true);
    if (inside.size() > 3 && IsPlainFullPath(FolderSlash(folder, false)) && path.size() > inside.size() &&
        StartsWithText(inside, path, true))
      return true;
  }
  return false;
}

}  // namespace stub
