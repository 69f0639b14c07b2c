// Replaceable texts from the language file that may lie beside the program
// (HELP\English\Talvex.language.ini, section [STRINGS]). A text found there overrides the
// caller's built-in default; "<?>" in it stands for the caller's argument.
#pragma once

#include <string>

namespace stub {

std::string LanguageFilePath();
// The value for key, or def when the file, the key or the value is missing. A value may be
// wrapped in "|" to keep leading or trailing blanks; "|" alone counts as empty.
std::string LangString(const std::string& key, const std::string& def);
std::string LangStringArg(const std::string& key, const std::string& def, const std::string& argument);

}  // namespace stub
