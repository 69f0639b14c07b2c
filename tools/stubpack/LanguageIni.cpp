#define SI_IMPLEMENTATION
#define SI_NO_CONVERSION
#include <SimpleIni.h>

#include "LanguageIni.h"

#include <list>
#include <vector>

#include "Errors.h"
#include "PackageWriter.h"
#include "Platform.h"
#include "support/Text.h"

namespace stubpack {

int CodePageOfCharset(int charset) {
  switch (charset) {
    case 238: return 1250;  // Central European
    case 204: return 1251;  // Cyrillic
    case 161: return 1253;  // Greek
    case 162: return 1254;  // Turkish
    case 177: return 1255;  // Hebrew
    case 178: return 1256;  // Arabic
    case 186: return 1257;  // Baltic
    case 163: return 1258;  // Vietnamese
    case 222: return 874;   // Thai
    case 128: return 932;   // Japanese
    case 134: return 936;   // Simplified Chinese
    case 129: return 949;   // Korean
    case 136: return 950;   // Traditional Chinese
    default: return 1252;
  }
}

static bool IsUtf8WithNonAscii(const std::string& text) {
  bool nonAscii = false;
  for (size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    size_t extra = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : 9;
    if (extra == 9 || (extra == 1 && c < 0xC2)) return false;
    if (extra) nonAscii = true;
    for (size_t k = 1; k <= extra; ++k)
      if (i + k >= text.size() || (static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    i += extra + 1;
  }
  return nonAscii;
}

std::string LanguageBlockFromIni(const std::string& raw, const std::string& fileName) {
  std::string text = raw;
  bool utf8 = false;
  if (stub::StartsWithText("\xEF\xBB\xBF", text, false)) {
    text.erase(0, 3);
    utf8 = true;
  } else {
    utf8 = IsUtf8WithNonAscii(text);
  }
  CSimpleIniA ini;
  if (ini.LoadData(text.data(), text.size()) < 0) throw InputError("cannot parse the language file " + fileName);

  CSimpleIniA::TNamesDepend sections;
  ini.GetAllSections(sections);
  sections.sort(CSimpleIniA::Entry::LoadOrder());
  std::vector<std::string> blocks;
  for (const CSimpleIniA::Entry& section : sections) {
    const std::string name = section.pItem;
    CSimpleIniA::TNamesDepend keys;
    ini.GetAllKeys(section.pItem, keys);
    if (name.empty()) {
      if (!keys.empty()) throw InputError(fileName + ": entries before the first [section]");
      continue;
    }
    keys.sort(CSimpleIniA::Entry::LoadOrder());
    const int codePage = CodePageOfCharset(static_cast<int>(stub::ToInt64(ini.GetValue(section.pItem, "Charset", "0"), 0)));
    auto convert = [&](const std::string& s) {
      if (!utf8) return s;
      std::string out;
      if (!ToCodePage(s, codePage, out))
        throw InputError(fileName + ", section [" + name + "]: \"" + s + "\" has characters that code page " +
                         std::to_string(codePage) + " (Charset " + ini.GetValue(section.pItem, "Charset", "0") +
                         ") cannot hold");
      return out;
    };
    std::vector<std::string> entries;
    for (const CSimpleIniA::Entry& key : keys) {
      const std::string entry = convert(std::string(key.pItem) + "=" + ini.GetValue(section.pItem, key.pItem, ""));
      // 0x01 and 0x02 delimit the sections and the block.
      if (entry.find_first_of("\x01\x02") != std::string::npos)
        throw InputError(fileName + ", section [" + name + "]: the bytes 0x01 and 0x02 cannot be used");
      entries.push_back(entry);
    }
    const std::string sectionName = convert(name);
    if (sectionName.find_first_of("\x01\x02") != std::string::npos)
      throw InputError(fileName + ": the bytes 0x01 and 0x02 cannot be used in section names");
    blocks.push_back(stub::LanguageSection(sectionName, entries));
  }
  if (blocks.empty()) throw InputError(fileName + " has no [language] section");
  return stub::LanguageBlockOf(blocks);
}

}  // namespace stubpack
