#include "autoupdate/DescriptionFiles.h"

#include "autoupdate/AgentOverrides.h"
#include "autoupdate/AgentSchedule.h"
#include "support/Text.h"

namespace stub {

std::string InfoFileIn(const std::string& folder, const std::string& infoField) {
  const std::string name = FileNamePart(infoField);
  return name.empty() ? std::string() : folder + name;
}

std::string OriginalFileIn(const std::string& folder, const std::string& infoField) {
  const std::string name = FileNamePart(infoField);
  return name.empty() ? std::string() : folder + NameWithoutExt(name, true) + ".original";
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
