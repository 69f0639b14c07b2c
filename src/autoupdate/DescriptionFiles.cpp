#include "autoupdate/DescriptionFiles.h"

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

}  // namespace stub
