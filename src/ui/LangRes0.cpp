#include <windows.h>

#include "ui/LangRes0.h"

#include "support/Files.h"
#include "support/Text.h"
#include "support/Utils.h"

namespace stub {

std::string LanguageFilePath() { return ExeFolder(true) + "HELP\\English\\Talvex.language.ini"; }

std::string LangString(const std::string& key, const std::string& def) {
  std::string file = LanguageFilePath();
  if (!FileExists(file)) return def;
  std::string value = ReadIniString(file, "STRINGS", key, "");
  // The file reader trims values; bars around a value keep its blanks.
  if (value == "|") value.clear();
  else if (value.size() >= 2 && value.front() == '|' && value.back() == '|') value = value.substr(1, value.size() - 2);
  return value.empty() ? def : value;
}

std::string LangStringArg(const std::string& key, const std::string& def, const std::string& argument) {
  return ReplaceText(LangString(key, def), "<?>", argument);
}

}  // namespace stub
