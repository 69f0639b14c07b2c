#define SI_IMPLEMENTATION
#define SI_NO_CONVERSION
#include <SimpleIni.h>

#include "ConfigFile.h"

#include "Errors.h"
#include "FileIO.h"
#include "support/Text.h"

namespace stubpack {

static std::string Resolve(const fs::path& folder, const std::string& value) {
  const fs::path p = PathOf(value);
  return p.is_absolute() || value.empty() ? value : TextOf(folder / p);
}

std::vector<std::string> ConfigArguments(const fs::path& file, const std::function<KeyKind(const std::string&)>& kindOf) {
  std::string text = ReadWholeFile(file, "the config file");
  if (stub::StartsWithText("\xEF\xBB\xBF", text, false)) text.erase(0, 3);
  CSimpleIniA ini(false, true);  // "input" may repeat
  if (ini.LoadData(text.data(), text.size()) < 0) throw UsageError("cannot parse the config file " + TextOf(file));
  const fs::path folder = file.parent_path();
  const std::string fileName = TextOf(file);

  // The keys of [build], or of the top of the file when it has no such section.
  CSimpleIniA::TNamesDepend sections;
  ini.GetAllSections(sections);
  for (const CSimpleIniA::Entry& s : sections)
    if (*s.pItem && !stub::SameText(s.pItem, "build"))
      throw UsageError(fileName + ": unknown section [" + std::string(s.pItem) + "]; the options belong in [build]");
  const char* section = ini.GetSection("build") ? "build" : "";
  const CSimpleIniA::TKeyVal* top = ini.GetSection("");
  if (*section && top && !top->empty()) throw UsageError(fileName + ": keys before [build]");

  CSimpleIniA::TNamesDepend keys;
  ini.GetAllKeys(section, keys);
  keys.sort(CSimpleIniA::Entry::LoadOrder());
  std::vector<std::string> words, inputs;
  for (const CSimpleIniA::Entry& key : keys) {
    const std::string name = stub::Trim(key.pItem);
    CSimpleIniA::TNamesDepend values;
    ini.GetAllValues(section, key.pItem, values);
    values.sort(CSimpleIniA::Entry::LoadOrder());
    const KeyKind kind = kindOf(name);
    if (kind == KeyKind::Unknown || name == "config")
      throw UsageError(fileName + ": unknown key \"" + name + "\"");
    for (const CSimpleIniA::Entry& v : values) {
      const std::string value = v.pItem;
      switch (kind) {
        case KeyKind::Flag: {
          const std::string b = stub::UpperCase(stub::Trim(value));
          if (b == "1" || b == "TRUE" || b == "YES" || b == "ON") words.push_back("--" + name);
          else if (!(b == "0" || b == "FALSE" || b == "NO" || b == "OFF"))
            throw UsageError(fileName + ": " + name + " wants true or false, not \"" + value + "\"");
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
  }
  words.insert(words.end(), inputs.begin(), inputs.end());
  return words;
}

}  // namespace stubpack
