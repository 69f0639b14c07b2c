#include "ConfigFile.h"

#include "Errors.h"
#include "FileIO.h"
#include "IniText.h"
#include "Suggest.h"
#include "support/Text.h"

namespace stubpack {

static std::string Resolve(const fs::path& folder, const std::string& value) {
  const fs::path p = PathOf(value);
  return p.is_absolute() || value.empty() ? value : TextOf(folder / p);
}

std::vector<std::string> ConfigArguments(const fs::path& file, const std::function<KeyKind(const std::string&)>& kindOf,
                                         const std::vector<std::string>& keys) {
  std::string text = ReadWholeFile(file, "the config file");
  if (stub::StartsWithText("\xEF\xBB\xBF", text, false)) text.erase(0, 3);
  const std::string fileName = TextOf(file);
  std::vector<IniSection> sections;
  IniMistake mistake;
  if (!ParseIni(text, sections, mistake)) throw UsageError(AtLine(fileName, mistake.line, mistake.what));

  // The keys of [build], or of the top of the file when it has no sections.
  const IniSection* build = nullptr;
  for (const IniSection& s : sections) {
    if (s.name.empty()) {
      if (sections.size() > 1) throw UsageError(AtLine(fileName, s.entries.front().line, "keys before [build]"));
      build = &s;
    } else if (!stub::SameText(s.name, "build")) {
      throw UsageError(AtLine(fileName, s.line, "unknown section [" + s.name + "]; the options belong in [build]"));
    } else if (build) {
      throw UsageError(AtLine(fileName, s.line, "a second [build] section (the first is on line " +
                                                    std::to_string(build->line) + ")"));
    } else {
      build = &s;
    }
  }
  if (!build) return {};

  const fs::path folder = file.parent_path();
  std::vector<std::string> words, inputs;
  for (const IniEntry& entry : build->entries) {
    const std::string& name = entry.key;
    const KeyKind kind = name == "config" ? KeyKind::Unknown : kindOf(name);
    if (kind == KeyKind::Unknown)
      throw UsageError(AtLine(fileName, entry.line, "unknown key \"" + name + "\"" + DidYouMean(name, keys)));
    const IniEntry* earlier = kind == KeyKind::Input ? nullptr : RepeatedKey(*build, entry);
    if (earlier)
      throw UsageError(AtLine(fileName, entry.line, name + " is given twice (also on line " +
                                                        std::to_string(earlier->line) + "); only input may repeat"));
    const std::string& value = entry.value;
    switch (kind) {
      case KeyKind::Flag: {
        const std::string b = stub::UpperCase(value);
        if (b == "1" || b == "TRUE" || b == "YES" || b == "ON") words.push_back("--" + name);
        else if (!(b == "0" || b == "FALSE" || b == "NO" || b == "OFF"))
          throw UsageError(AtLine(fileName, entry.line, name + " wants true or false, not \"" + value + "\""));
        break;
      }
      case KeyKind::Value:
        words.push_back("--" + name);
        words.push_back(value);
        break;
      case KeyKind::PathValue:
        words.push_back("--" + name);
        words.push_back(Resolve(folder, value));
        break;
      case KeyKind::Input:
        inputs.push_back(Resolve(folder, value));
        break;
      case KeyKind::Unknown:
        break;
    }
  }
  words.insert(words.end(), inputs.begin(), inputs.end());
  return words;
}

}  // namespace stubpack
