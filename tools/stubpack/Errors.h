// The errors of stubpack and the exit codes they end the program with, so that a build
// script can tell a mistake on its own command line from a problem with the files it names.
#pragma once

#include <cstdio>
#include <stdexcept>
#include <string>

namespace stubpack {

enum ExitCode {
  kExitOk = 0,
  kExitInput = 1,    // a file is missing, unreadable or unfit: paths, sizes, the stub
  kExitUsage = 2,    // the command line or the config file is wrong
  kExitOutput = 3,   // the package cannot be written
  kExitDamaged = 4,  // inspect or extract found a package that the stub would not read whole
};

class ToolError : public std::runtime_error {
 public:
  ToolError(ExitCode code, const std::string& what) : std::runtime_error(what), code_(code) {}
  ExitCode Code() const { return code_; }

 private:
  ExitCode code_;
};

inline ToolError InputError(const std::string& what) { return ToolError(kExitInput, what); }
inline ToolError UsageError(const std::string& what) { return ToolError(kExitUsage, what); }
inline ToolError OutputError(const std::string& what) { return ToolError(kExitOutput, what); }

// What the build goes on with but the vendor should know; printed even with --quiet.
inline void Warn(const std::string& what) { std::fprintf(stderr, "stubpack: warning: %s\n", what.c_str()); }

}  // namespace stubpack
