// Field lists: a text whose first character is its delimiter and whose every field is
// closed by it, as in "|Error|Attention|Confirm|". Fields are numbered from 0.
#pragma once

#include <cstdint>
#include <string>

namespace stub {

int SubCount(const std::string& list);
std::string SubGet(const std::string& list, int index, const std::string& def = std::string());
int64_t SubGetInt(const std::string& list, int index, int64_t def);
// Sets field index, adding empty fields up to it. When value holds the delimiter, the list
// switches to the first of "|^!~@#$&*" and byte 255 that occurs nowhere in it.
std::string SubSet(const std::string& list, int index, const std::string& value);
// Value of KEY=VALUE in a list of such fields, key compared ignoring case; absentDefault
// when there is no such field, emptyDefault when its value is empty.
std::string SubValue(const std::string& list, const std::string& key, const std::string& absentDefault,
                     const std::string& emptyDefault);
// Builds a list from fields with the given delimiter (no check that it is absent from them).
std::string SubJoin(char delimiter, const std::string* fields, size_t count);

}  // namespace stub
