#include "package/GFileInfo.h"

#include <algorithm>
#include <cstddef>

#include "package/Token.h"
#include "support/Text.h"
#include "support/VSUB.h"
#include "ui/SLangId.h"

namespace stub {

// The one language section of the process; empty until the first lookup.
static std::string g_selectedSection;

const std::string& SelectedSection() { return g_selectedSection; }
void ResetSelectedSectionForTesting() { g_selectedSection.clear(); }

TGFileInfo::TGFileInfo(const std::string& path) {
  if (!PathIsFile(path)) return;
  std::unique_ptr<ByteSource> source = OpenFileSource(path);
  if (source) Load(*source);
}

TGFileInfo::TGFileInfo(ByteSource& source) { Load(source); }

void TGFileInfo::Load(ByteSource& source) {
  ReadTrailer(source, trailer_);
  if (trailer_.Signature() != kPackageSignature) return;
  LeadRecords records = ReadLeadRecords(source, trailer_);
  language_ = std::move(records.language);
  settings_ = std::move(records.settings);
  download_ = std::move(records.download);
}

// One walk over the block: each section is looked at once, up to the end of its name, so a
// block of any size (or of nothing but delimiters) takes time in proportion to its length.
std::string TGFileInfo::FindSection(const std::string& name) const {
  const std::string& block = language_;
  if (block.empty() || block.back() != block.front()) return "*";
  const char delimiter = block[0];
  size_t count = 0;
  std::string first;
  for (size_t open = 0; open + 1 < block.size();) {
    const size_t close = block.find(delimiter, open + 1);
    const size_t length = close - open - 1;
    if (count++ == 0) first = block.substr(open + 1, length);
    // Field 0 of the section: the text between its own first two delimiters, looked for
    // inside the section only.
    std::string sectionName;
    if (length > 1) {
      const auto from = block.begin() + static_cast<std::ptrdiff_t>(open + 2);
      const auto to = block.begin() + static_cast<std::ptrdiff_t>(close);
      const auto nameEnd = std::find(from, to, block[open + 1]);
      if (nameEnd != to) sectionName.assign(from, nameEnd);
    }
    if (SameTextTrim(sectionName, name)) return block.substr(open + 1, length);
    open = close;
  }
  if (count == 1) return first;
  return "*";
}

std::string TGFileInfo::GetLangString(const std::string& key, const std::string& def) const {
  if (g_selectedSection.empty()) {
    g_selectedSection = FindSection(CurrentLanguageName());
    if (g_selectedSection == "*") g_selectedSection = FindSection("English");
  }
  if (g_selectedSection.size() > 1) return SubValue(g_selectedSection, key, def, std::string());
  return def;
}

int TGFileInfo::GetCharset() const { return static_cast<int>(ToInt64(GetLangString("Charset", "0"), 0)); }
int TGFileInfo::GetFontSize() const { return static_cast<int>(ToInt64(GetLangString("FontSize", "8"), 8)); }
std::string TGFileInfo::GetFontName() const { return GetLangString("FontName", "Tahoma"); }

std::string TGFileInfo::GetUpdateURL() const { return SubGet(settings_, 0); }
std::string TGFileInfo::GetInfoFileName() const { return FileNamePart(SubGet(settings_, 1)); }

std::string TGFileInfo::GetOriginalFileName() const {
  std::string name = FileNamePart(SubGet(settings_, 1));
  size_t dot = name.find('.');
  if (dot != std::string::npos) name.erase(dot);
  return name + ".original";
}

std::string TGFileInfo::GetAgentFileName() const { return SubGet(settings_, 2); }

std::string TGFileInfo::GetSecretToken(bool descramble) const {
  std::string token = SubGet(settings_, 3);
  return descramble ? DescrambleToken(token) : token;
}

bool TGFileInfo::GetHideSetup() const { return SubGet(settings_, 4) == "1"; }
std::string TGFileInfo::GetDownloadURL() const { return SubGet(download_, 0); }
std::string TGFileInfo::GetDownloadFileName() const { return SubGet(download_, 1); }
bool TGFileInfo::GetDownloadNoLocalCopy() const { return SubGet(download_, 2) == "1"; }

std::string TGFileInfo::GetDownloadToken(bool descramble) const {
  std::string token = SubGet(download_, 3);
  return descramble ? DescrambleToken(token) : token;
}

std::string TGFileInfo::GetDownloadSize() const { return SubGet(download_, 4); }

}  // namespace stub
