#include "IniText.h"

#include "support/Text.h"

namespace stubpack {

bool ParseIni(const std::string& text, std::vector<IniSection>& sections, IniMistake& mistake) {
  sections.clear();
  int number = 0;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = stub::Trim(text.substr(start, end - start));
    start = end + 1;
    ++number;
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line[0] == '[') {
      const size_t close = line.find(']');
      if (close == std::string::npos) {
        mistake = {number, "the section " + line + " has no closing \"]\""};
        return false;
      }
      if (close + 1 != line.size()) {
        mistake = {number, "text after the \"]\" of " + line.substr(0, close + 1)};
        return false;
      }
      IniSection section;
      section.name = stub::Trim(line.substr(1, close - 1));
      section.line = number;
      if (section.name.empty()) {
        mistake = {number, "a section needs a name between \"[\" and \"]\""};
        return false;
      }
      sections.push_back(section);
      continue;
    }
    const size_t equals = line.find('=');
    if (equals == std::string::npos) {
      mistake = {number, "\"" + line + "\" is not key = value"};
      return false;
    }
    IniEntry entry;
    entry.key = stub::Trim(line.substr(0, equals));
    entry.value = stub::Trim(line.substr(equals + 1));
    entry.line = number;
    if (entry.key.empty()) {
      mistake = {number, "\"" + line + "\" has no key before \"=\""};
      return false;
    }
    if (sections.empty()) sections.push_back(IniSection());
    sections.back().entries.push_back(entry);
  }
  return true;
}

std::string AtLine(const std::string& file, int line, const std::string& what) {
  return file + ":" + std::to_string(line) + ": " + what;
}

const IniEntry* RepeatedKey(const IniSection& section, const IniEntry& entry) {
  for (const IniEntry& e : section.entries) {
    if (&e == &entry) return nullptr;
    if (stub::SameText(e.key, entry.key)) return &e;
  }
  return nullptr;
}

}  // namespace stubpack
