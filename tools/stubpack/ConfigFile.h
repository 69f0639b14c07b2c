// --config FILE: the options of `build` as INI keys, for build scripts that would otherwise
// need long command lines. Keys are the long option names ("update-url = ..."); "input" names
// a file or folder to pack and may repeat. Relative paths count from the config file's
// folder, so the file works from any current folder.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "Platform.h"

namespace stubpack {

enum class KeyKind { Unknown, Flag, Value, PathValue, Input };

// The command-line words the file stands for: "--key", "value" ..., the inputs last. Throws a
// usage error naming the file and line of the first mistake; keys are the option names the
// caller knows (for "did you mean").
std::vector<std::string> ConfigArguments(const fs::path& file, const std::function<KeyKind(const std::string&)>& kindOf,
                                         const std::vector<std::string>& keys);

}  // namespace stubpack
