// The deflate engines stubpack can write records with. Both produce the zlib format that the
// stub inflates; libdeflate is several times faster, zlib is what every build has.
#pragma once

#include <string>
#include <vector>

#include "PackageWriter.h"

namespace stubpack {

// Names this build knows, the default first.
std::vector<std::string> CompressorNames();
// The factory for name at level 1..9; null for an unknown name.
stub::DeflaterFactory CompressorFor(const std::string& name, int level);

}  // namespace stubpack
