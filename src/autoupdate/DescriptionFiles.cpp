#include "autoupdate/DescriptionFiles.h"

#include <cstring>

#include "autoupdate/AgentOverrides.h"
#include "autoupdate/AgentSchedule.h"
#include "package/Records.h"
#include "support/Text.h"

namespace stub {

// The file-name part of field 1. Windows takes "/" for a separator too, so "a/../../x.info"
// must not reach above the folder; a part of only dots and blanks names a folder, and "PRN"
// or "CON.info" a device, not a file.
static std::string DescriptionFileName(const std::string& infoField) {
  const std::string name = FileNamePart(ReplaceChar(infoField, '/', '\\'));
  return IsSafeRelativePath(name) ? name : std::string();
}

std::string InfoFileIn(const std::string& folder, const std::string& infoField) {
  const std::string name = DescriptionFileName(infoField);
  return name.empty() ? std::string() : folder + name;
}

std::string OriginalFileIn(const std::string& folder, const std::string& infoField) {
  const std::string name = DescriptionFileName(infoField);
  return name.empty() ? std::string() : folder + NameWithoutExt(name, true) + ".original";
}

// A path the system reads as written: drive, backslash, then names that are neither "." nor
// "..", hold no character that a name cannot hold and do not end in a dot or a blank.
static bool IsPlainFullPath(const std::string& path) {
  const char drive = UpperChar(path.empty() ? '\0' : path[0]);
  if (path.size() < 4 || drive < 'A' || drive > 'Z' || path[1] != ':' || path[2] != '\\') return false;
  size_t start = 3;  // where the current name began
  for (size_t i = 3; i <= path.size(); ++i) {
    const char c = i < path.size() ? path[i] : '\\';
    if (c == '\\') {
      const size_t length = i - start;
      const char last = length ? path[i - 1] : '.';
      if (length == 0 || last == '.' || last == ' ') return false;  // also "." and ".."
      start = i + 1;
    } else if (static_cast<unsigned char>(c) < 32 || std::strchr(":*?\"<>|/", c)) {
      return false;
    }
  }
  return true;
}

bool IsRemovableShortcut(const std::string& path, const std::vector<std::string>& folders) {
  if (!IsPlainFullPath(path) || !EndsWithText(".lnk", path, true) || FileNamePart(path).size() <= 4) return false;
  for (const std::string& folder : folders) {
    const std::string inside = FolderSlash(folder, true);
    if (inside.size() > 3 && IsPlainFullPath(FolderSlash(folder, false)) && path.size() > inside.size() &&
        StartsWithText(inside, path, true))
      return true;
  }
  return false;
}

std::string DescribedFileName(const std::string& name) {
  const size_t cut = name.find_last_of("\\/:");
  const std::string part = cut == std::string::npos ? name : name.substr(cut + 1);
  return part == "." || part == ".." ? std::string() : part;
}

static std::string ReadFrom(IniAccess& ini, const std::string& file, const char* section, const char* key,
                            const char* def) {
  const std::string fallback(def);
  return file.empty() ? fallback : ini.Read(file, section, key, fallback);
}

std::string DescriptionFiles::Original(const char* section, const char* key, const char* def) {
  return ReadFrom(ini_, original_, section, key, def);
}

std::string DescriptionFiles::Info(const char* section, const char* key, const char* def) {
  return ReadFrom(ini_, info_, section, key, def);
}

std::string DescriptionFiles::AgentText(const char* key, const char* def) { return Original("AutoUpdate", key, def); }

int64_t DescriptionFiles::OriginalInt(const char* section, const char* key, int64_t def) {
  return ToInt64(Original(section, key), def);
}

int64_t DescriptionFiles::InfoInt(const char* section, const char* key, int64_t def) {
  return ToInt64(Info(section, key), def);
}

bool DescriptionFiles::InfoSwitch(const char* key, int overridePosition) {
  const uint8_t value = GetOverride(overridePosition);
  if (value != 255) return value == 1;
  return Info("NewSetup", key, "0") == "1";
}

void DescriptionFiles::SetOriginalInt(const char* key, int64_t value) {
  if (!original_.empty()) ini_.Write(original_, "OriginalSetup", key, IntText(value));
}

void DescriptionFiles::SetSecondsLast(const char* key, int64_t agentSeconds) {
  SetOriginalInt(key, agentSeconds);
  if (!original_.empty())
    ini_.Write(original_, "OriginalSetup", ("__" + std::string(key)).c_str(),
               DateTimeText(CivilOfAgentSeconds(agentSeconds)));
}

AgentBoxStyle DescriptionFiles::BoxStyle() {
  AgentBoxStyle style;
  style.error = Original("MsgBox", "Error", "Error");
  style.confirm = Original("MsgBox", "Confirm", "Confirm");
  style.attention = Original("MsgBox", "Attention", "Attention");
  style.buttons = Original("MsgBox", "BtnText", "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|");
  style.fontName = Original("MsgBox", "FontName", "Tahoma");
  style.charset = static_cast<int32_t>(OriginalInt("MsgBox", "CharSet", 0));
  style.fontSize = static_cast<int32_t>(OriginalInt("MsgBox", "FontSize", 8));
  return style;
}

}  // namespace stub
