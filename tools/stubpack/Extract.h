// `stubpack extract`: the stub's own extraction, run on this machine against its files, so
// a package can be checked without Windows.
#pragma once

#include <string>

namespace stubpack {

// Extracts the package (and the disks that follow it) into folder, which must be new or
// empty. Returns the exit code: 0, or kExitDamaged when the stub would not have extracted
// the package whole (a refused path, a bad checksum, a missing disk ...).
int RunExtract(const std::string& package, const std::string& folder, int codePage, bool verbose);

}  // namespace stubpack
