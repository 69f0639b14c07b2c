// The INI files stubpack reads (the config file, the language file), parsed strictly: every
// line is blank, a comment (";" or "#"), a [section] or key = value, so that a mistake is
// reported with its line instead of being dropped.
#pragma once

#include <string>
#include <vector>

namespace stubpack {

struct IniEntry {
  std::string key, value;  // both trimmed
  int line = 0;
};

struct IniSection {
  std::string name;  // empty for the entries before the first [section]
  int line = 0;      // of the [section] line; 0 for the nameless one
  std::vector<IniEntry> entries;
};

// The first line that is none of the above, and what is wrong with it.
struct IniMistake {
  int line = 0;
  std::string what;
};

// Sections in file order; a nameless first section only when entries come before any
// [section]. The text has no byte order mark. False with the first mistake.
bool ParseIni(const std::string& text, std::vector<IniSection>& sections, IniMistake& mistake);

// "file:line: what", the form compilers use, so that editors can jump to the place.
std::string AtLine(const std::string& file, int line, const std::string& what);

// The entry of a section whose key (case ignored) came earlier in it, or null.
const IniEntry* RepeatedKey(const IniSection& section, const IniEntry& entry);

}  // namespace stubpack
