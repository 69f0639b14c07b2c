#include <windows.h>

#include "support/Switches.h"
#include "support/Utils.h"

namespace stub {

// Switches are read from the process's real command line each time; it never changes.
std::string GetParamTail() { return ParamTailOf(GetCommandLineA(), ExeFileName(false)); }
std::string GetParamValue(const std::string& name) { return ParamValueIn(GetParamTail(), name); }
bool HasParam(const std::string& name) { return HasParamIn(GetParamTail(), name); }
int64_t GetParamInt(const std::string& name, int64_t def) { return ParamIntIn(GetParamTail(), name, def); }

}  // namespace stub
