// Builds that have libdeflate (the host build): it is the default, zlib stays selectable so
// a Linux build can match the bytes a Windows build writes.
#include <libdeflate.h>

#include <memory>

#include "Compressors.h"

namespace stubpack {

static stub::DeflaterFactory Libdeflate(int level) {
  return [level]() -> stub::DeflateFunction {
    std::shared_ptr<libdeflate_compressor> compressor(libdeflate_alloc_compressor(level), libdeflate_free_compressor);
    if (!compressor) throw stub::PackageError("libdeflate cannot allocate a compressor");
    return [compressor](const std::string& content) {
      std::string out(libdeflate_zlib_compress_bound(compressor.get(), content.size()), '\0');
      size_t n = libdeflate_zlib_compress(compressor.get(), content.data(), content.size(), &out[0], out.size());
      if (n == 0) throw stub::PackageError("libdeflate compression failed");
      out.resize(n);
      return out;
    };
  };
}

std::vector<std::string> CompressorNames() { return {"libdeflate", "zlib"}; }

stub::DeflaterFactory CompressorFor(const std::string& name, int level) {
  if (name == "libdeflate") return Libdeflate(level);
  if (name == "zlib") return stub::ZlibDeflater(level);
  return nullptr;
}

}  // namespace stubpack
