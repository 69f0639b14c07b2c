// Command-line switch parsing over given texts; the Win32 layer (Utils.h) feeds it the
// process's real command line and own path. Names are matched as plain substrings, case
// ignored, anywhere after the program path.
#pragma once

#include <cstdint>
#include <string>

namespace stub {

// The command line after the program's own path, trimmed.
std::string ParamTailOf(const std::string& commandLine, const std::string& ownPath);
// The value of a switch such as "/WAIT=" in a tail: empty when absent, "TRUE" when the
// switch ends the tail; a quoted value keeps blanks and slashes.
std::string ParamValueIn(const std::string& tail, const std::string& name);
bool HasParamIn(const std::string& tail, const std::string& name);
int64_t ParamIntIn(const std::string& tail, const std::string& name, int64_t def);

}  // namespace stub
