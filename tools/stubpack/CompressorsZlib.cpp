// Builds without libdeflate (the Windows build): zlib only.
#include "Compressors.h"

namespace stubpack {

std::vector<std::string> CompressorNames() { return {"zlib"}; }

stub::DeflaterFactory CompressorFor(const std::string& name, int level) {
  if (name == "zlib") return stub::ZlibDeflater(level);
  return nullptr;
}

}  // namespace stubpack
