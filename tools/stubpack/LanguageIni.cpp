#include "LanguageIni.h"

#include <set>

#include "Errors.h"
#include "IniText.h"
#include "PackageWriter.h"
#include "Platform.h"
#include "Suggest.h"
#include "support/Text.h"
#include "support/VSUB.h"
#include "ui/SLangId.h"

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

namespace {

// The keys the stub reads from a language section.
const char* const kStubKeys[] = {"s0", "s1", "s2", "s3", "s4", "s5", "s6", "s7", "s8", "s10", "s11", "s12",
                                 "BtnText", "Attention", "Confirm", "Error", "Charset", "FontSize", "FontName"};
// The character sets whose code page the stub's texts can be in.
const int kCharsets[] = {0, 238, 204, 161, 162, 177, 178, 186, 163, 222, 128, 134, 129, 136};

// A placeholder the stub fills in, with the key whose default text holds it.
struct Placeholder {
  const char* key;
  const char* name;
  const char* lost;  // what users no longer see without it
};
const Placeholder kPromptPlaceholders[] = {
    {"s8", "<DISK_NUM>", "which disk to insert"},
    {"s11", "<SIZE>", "the size of the download"},
};
// The temporary-space notice is s2 (or s3 when space is short), s4, s5 and s6 in a row.
const Placeholder kNoticePlaceholders[] = {
    {"s2", "<DRIVE>", "the temporary drive"},
    {"s4", "<SPACE_REQ>", "the space the setup needs"},
    {"s5", "<SPACE_AVAIL>", "the free space"},
};

const IniEntry* Find(const IniSection& section, const std::string& key) {
  for (const IniEntry& e : section.entries)
    if (stub::SameText(e.key, key)) return &e;
  return nullptr;
}

// The names a section must have to be chosen among several: the stub looks for the system's
// language by its English name in capitals, then for English.
const std::set<std::string>& ChosenNames() {
  static const std::set<std::string> names = [] {
    std::set<std::string> n{"ENGLISH"};
    for (int id = 0; id < 1024; ++id)
      if (!stub::LanguageNameFromId(id).empty()) n.insert(stub::LanguageNameFromId(id));
    return n;
  }();
  return names;
}

class SectionCheck {
 public:
  SectionCheck(const std::string& file, const IniSection& section, std::vector<std::string>& warnings)
      : file_(file), section_(section), warnings_(warnings) {}

  // Throws for values the stub cannot use; warns for what it would ignore or lose.
  void Run() {
    for (const IniEntry& e : section_.entries) {
      if (const IniEntry* earlier = RepeatedKey(section_, e))
        Fail(e, e.key + " is given twice in [" + section_.name + "] (also on line " + std::to_string(earlier->line) +
                    "); the stub would read only the first");
      if (stub::SameText(e.key, "Charset")) CheckCharset(e);
      else if (stub::SameText(e.key, "FontSize")) CheckFontSize(e);
      else if (stub::SameText(e.key, "BtnText")) CheckButtons(e);
      else if (!Known(e.key)) WarnUnknown(e);
    }
    for (const Placeholder& p : kPromptPlaceholders) {
      const IniEntry* e = Find(section_, p.key);
      if (e && e->value.find(p.name) == std::string::npos)
        Warn(e->line, std::string(p.key) + " has no " + p.name + ": users will not see " + p.lost);
    }
    CheckSpaceNotice();
  }

 private:
  void Fail(const IniEntry& e, const std::string& what) { throw InputError(AtLine(file_, e.line, what)); }
  void Warn(int line, const std::string& what) { warnings_.push_back(AtLine(file_, line, what)); }

  static bool Known(const std::string& key) {
    for (const char* k : kStubKeys)
      if (stub::SameText(key, k)) return true;
    return false;
  }

  void CheckCharset(const IniEntry& e) {
    const int64_t value = stub::ToInt64(e.value, -1);
    for (int c : kCharsets)
      if (value == c && e.value.find_first_not_of("0123456789") == std::string::npos) return;
    std::string list;
    for (int c : kCharsets) list += (list.empty() ? "" : ", ") + std::to_string(c);
    Fail(e, "Charset=" + e.value + " is not a character set the stub can show; use one of " + list);
  }

  void CheckFontSize(const IniEntry& e) {
    const int64_t value = stub::ToInt64(e.value, -1);
    if (e.value.find_first_not_of("0123456789") != std::string::npos || value < 1 || value > 72)
      Fail(e, "FontSize=" + e.value + " is not a size the stub can use; give whole points from 1 to 72 (8 is usual)");
  }

  void CheckButtons(const IniEntry& e) {
    const std::string& v = e.value;
    if (v.size() < 2 || v.front() != v.back() || stub::SubCount(v) != 7)
      Warn(e.line, "BtnText \"" + v + "\" is not the 7 button texts the message boxes take, each closed by the "
                   "first character: |&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|");
  }

  void WarnUnknown(const IniEntry& e) {
    // "s9" or "s13" are not slips of another key but keys the stub never asks for.
    const bool numbered = e.key.size() > 1 && (e.key[0] == 's' || e.key[0] == 'S') &&
                          e.key.find_first_not_of("0123456789", 1) == std::string::npos;
    const std::vector<std::string> keys(std::begin(kStubKeys), std::end(kStubKeys));
    Warn(e.line, "the stub reads no key \"" + e.key + "\"" + (numbered ? "" : DidYouMean(e.key, keys)) +
                     "; it is packed but never shown");
  }

  // A placeholder may stand in any text of the notice, and a key left out brings its
  // default's (s3's default holds <DRIVE> as s2's does).
  void CheckSpaceNotice() {
    for (const Placeholder& p : kNoticePlaceholders) {
      for (const char* first : {"s2", "s3"}) {
        bool holds = false;
        bool anySet = false;
        for (const char* key : {first, "s4", "s5", "s6"}) {
          const IniEntry* e = Find(section_, key);
          const std::string defaultKey = key == std::string("s3") ? "s2" : key;
          anySet = anySet || e;
          holds = holds || (e ? e->value.find(p.name) != std::string::npos : defaultKey == p.key);
        }
        if (!anySet || holds) continue;
        Warn(section_.line, "[" + section_.name + "]: the temporary-space notice (" + first + ", s4, s5, s6) has no " +
                                p.name + ": users will not see " + p.lost);
        break;
      }
    }
  }

  const std::string& file_;
  const IniSection& section_;
  std::vector<std::string>& warnings_;
};

}  // namespace

std::string LanguageBlockFromIni(const std::string& raw, const std::string& fileName,
                                 std::vector<std::string>& warnings) {
  std::string text = raw;
  bool utf8 = false;
  if (stub::StartsWithText("\xEF\xBB\xBF", text, false)) {
    text.erase(0, 3);
    utf8 = true;
  } else {
    utf8 = IsUtf8WithNonAscii(text);
  }
  std::vector<IniSection> sections;
  IniMistake mistake;
  if (!ParseIni(text, sections, mistake)) throw InputError(AtLine(fileName, mistake.line, mistake.what));
  if (!sections.empty() && sections.front().name.empty())
    throw InputError(AtLine(fileName, sections.front().entries.front().line, "entries before the first [section]"));
  if (sections.empty()) throw InputError(fileName + " has no [language] section");

  bool english = false;
  for (size_t i = 0; i < sections.size(); ++i) {
    const IniSection& section = sections[i];
    for (size_t j = 0; j < i; ++j)
      if (stub::SameTextTrim(sections[j].name, section.name))
        throw InputError(AtLine(fileName, section.line,
                                "a second section [" + section.name + "] (the first is on line " +
                                    std::to_string(sections[j].line) + "); the stub would use only the first"));
    SectionCheck(fileName, section, warnings).Run();
    english = english || stub::SameTextTrim(section.name, "English");
    if (sections.size() > 1 && !ChosenNames().count(stub::UpperCase(section.name))) {
      const std::vector<std::string> names(ChosenNames().begin(), ChosenNames().end());
      warnings.push_back(AtLine(fileName, section.line,
                                "[" + section.name + "] is no language name the stub looks for" +
                                    DidYouMean(section.name, names) +
                                    ": among several sections it is never chosen (name them in English, as "
                                    "[German], [French])"));
    }
  }
  if (sections.size() > 1 && !english)
    warnings.push_back(AtLine(fileName, sections.front().line,
                              "several sections and none is [English]: where the system's language has no section "
                              "the stub shows its built-in English texts, not these"));

  std::vector<std::string> blocks;
  for (const IniSection& section : sections) {
    const IniEntry* charset = Find(section, "Charset");
    const int codePage = CodePageOfCharset(charset ? static_cast<int>(stub::ToInt64(charset->value, 0)) : 0);
    auto convert = [&](const std::string& s, int line) {
      if (!utf8) return s;
      std::string out;
      if (!ToCodePage(s, codePage, out))
        throw InputError(AtLine(fileName, line, "\"" + s + "\" has characters that code page " +
                                                    std::to_string(codePage) + " (Charset " +
                                                    (charset ? charset->value : std::string("0")) + ") cannot hold"));
      return out;
    };
    std::vector<std::string> entries;
    for (const IniEntry& e : section.entries) {
      const std::string entry = convert(e.key + "=" + e.value, e.line);
      // 0x01 and 0x02 delimit the sections and the block.
      if (entry.find_first_of("\x01\x02") != std::string::npos)
        throw InputError(AtLine(fileName, e.line, "the bytes 0x01 and 0x02 cannot be used"));
      entries.push_back(entry);
    }
    const std::string sectionName = convert(section.name, section.line);
    if (sectionName.find_first_of("\x01\x02") != std::string::npos)
      throw InputError(AtLine(fileName, section.line, "the bytes 0x01 and 0x02 cannot be used in section names"));
    blocks.push_back(stub::LanguageSection(sectionName, entries));
  }
  return stub::LanguageBlockOf(blocks);
}

}  // namespace stubpack
