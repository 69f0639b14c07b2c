#include "support/VSUB.h"

#include <vector>

#include "support/Text.h"

namespace stub {

int SubCount(const std::string& list) {
  if (list.empty() || list.back() != list.front()) return 0;
  int n = 0;
  for (size_t i = 1; i < list.size(); ++i)
    if (list[i] == list[0]) ++n;
  return n;
}

std::string SubGet(const std::string& list, int index, const std::string& def) {
  if (list.empty() || index < 0) return def;
  const char delimiter = list[0];
  size_t open = 0;
  for (int i = 0; i < index; ++i) {
    open = list.find(delimiter, open + 1);
    if (open == std::string::npos) return def;
  }
  size_t close = list.find(delimiter, open + 1);
  if (close == std::string::npos || close == open + 1) return def;
  return list.substr(open + 1, close - open - 1);
}

int64_t SubGetInt(const std::string& list, int index, int64_t def) {
  std::string field = SubGet(list, index);
  return field.empty() ? def : ToInt64(field, def);
}

// Every field of the list; an unclosed tail counts as a field here, so that rebuilding
// a list never drops text.
static std::vector<std::string> Fields(const std::string& list) {
  std::vector<std::string> fields;
  if (list.empty()) return fields;
  const char delimiter = list[0];
  size_t open = 0;
  while (open + 1 < list.size()) {
    size_t close = list.find(delimiter, open + 1);
    if (close == std::string::npos) {
      fields.push_back(list.substr(open + 1));
      break;
    }
    fields.push_back(list.substr(open + 1, close - open - 1));
    open = close;
  }
  return fields;
}

std::string SubJoin(char delimiter, const std::string* fields, size_t count) {
  std::string out(1, delimiter);
  for (size_t i = 0; i < count; ++i) {
    out += fields[i];
    out += delimiter;
  }
  return out;
}

std::string SubSet(const std::string& list, int index, const std::string& value) {
  if (index < 0) return list;
  const char delimiter = list.empty() ? '|' : list[0];
  std::vector<std::string> fields = Fields(list);
  if (fields.size() <= static_cast<size_t>(index)) fields.resize(static_cast<size_t>(index) + 1);
  fields[static_cast<size_t>(index)] = value;

  auto occurs = [&fields](char c) {
    for (const std::string& f : fields)
      if (f.find(c) != std::string::npos) return true;
    return false;
  };
  char chosen = delimiter;
  if (occurs(delimiter)) {
    static const char candidates[] = {'|', '^', '!', '~', '@', '#', '$', '&', '*', '\xFF'};
    chosen = '\0';
    for (char c : candidates) {
      if (!occurs(c)) {
        chosen = c;
        break;
      }
    }
  }
  // Joined with the delimiter itself: a field's own 0x00 bytes stay what they are.
  return SubJoin(chosen, fields.data(), fields.size());
}

std::string SubValue(const std::string& list, const std::string& key, const std::string& absentDefault,
                     const std::string& emptyDefault) {
  if (list.size() <= 2 || list.back() != list.front()) return absentDefault;
  const char delimiter = list[0];
  std::string work;
  work.reserve(list.size());
  for (size_t i = 0; i < list.size(); ++i) {
    work += list[i];
    if (list[i] == delimiter && i + 1 < list.size() && list[i + 1] == ' ') ++i;
  }
  work = ReplaceText(work, " =", "=");
  std::string needle = std::string(1, delimiter) + key;
  if (key.empty() || key.back() != '=') needle += '=';
  size_t at = PosText(needle, work);
  if (at == 0) return absentDefault;
  size_t from = at - 1 + needle.size();
  size_t to = work.find(delimiter, from);
  std::string value = work.substr(from, to == std::string::npos ? std::string::npos : to - from);
  return value.empty() ? emptyDefault : value;
}

}  // namespace stub
