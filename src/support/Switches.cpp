#include "support/Switches.h"

#include "support/Text.h"

namespace stub {

// 0-based index of the first occurrence of needle in hay (case ignored) that ends at the end
// of hay, a blank or a quote; npos when none. The boundary keeps a folder named like the
// program (C:\stub.exe.d\stub.exe) from being taken for the program's name.
static size_t FindNameAtBoundary(const std::string& hay, const std::string& needle) {
  size_t from = 1;
  while (size_t pos = PosFrom(needle, hay, static_cast<long long>(from), true)) {
    size_t end = pos - 1 + needle.size();
    if (end == hay.size() || hay[end] == ' ' || hay[end] == '\t' || hay[end] == '"') return pos - 1;
    from = pos + 1;
  }
  return std::string::npos;
}

std::string ParamTailOf(const std::string& commandLine, const std::string& ownPath) {
  std::string rest = commandLine;
  std::string name = FileNamePart(ownPath);
  size_t at = name.empty() ? std::string::npos : FindNameAtBoundary(commandLine, name);
  if (at != std::string::npos) {
    rest = commandLine.substr(at + name.size());
    if (Trim(rest).size() == 1) rest.clear();
    // A quoted program path leaves its closing quote right after the name.
    else if (!commandLine.empty() && commandLine[0] == '"' && !rest.empty() && rest[0] == '"')
      rest.erase(0, 1);
  } else if (size_t p = ownPath.empty() ? 0 : PosText(ownPath, commandLine)) {
    rest = commandLine.substr(0, p - 1) + commandLine.substr(p - 1 + ownPath.size());
  }
  return Trim(rest);
}

std::string ParamValueIn(const std::string& tail, const std::string& name) {
  size_t at = PosText(name, tail);
  if (name.empty() || at == 0) return std::string();
  std::string rest = tail.substr(at - 1 + name.size());
  if (rest.empty()) return "TRUE";
  if (rest[0] == '"') {
    rest.erase(0, 1);
    size_t close = rest.find('"');
    if (close != std::string::npos) rest.erase(close);
  } else {
    size_t blank = rest.find(' ');
    if (blank != std::string::npos) rest.erase(blank);
    size_t slash = rest.find('/');
    if (slash != std::string::npos) rest.erase(slash);
  }
  return Trim(rest);
}

bool HasParamIn(const std::string& tail, const std::string& name) { return PosText(name, tail) != 0; }

int64_t ParamIntIn(const std::string& tail, const std::string& name, int64_t def) {
  std::string value = ParamValueIn(tail, name);
  if (value.empty() || value == "TRUE") return def;
  return ToInt64(value, def);
}

}  // namespace stub
