#include "autoupdate/DescriptionFiles.h"

#include "support/Text.h"

namespace stub {

std::string InfoFileIn(const std::string& folder, const std::string& infoField) {
  const std::string name = FileNamePart(infoField);
  return name.empty() ? std::string() : folder + name;
}

std::string OriginalFileIn(const std::string& folder, const std::string& infoField) {
  const std::string name = FileNamePart(infoField);
  return name.empty() ? std::string() : folder + NameWithoutExt(name, true) + ".original";
}

}  // namespace stub
