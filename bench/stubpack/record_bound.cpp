// Measures what the bound on a record's data costs and saves: for each bound, the package
// size and build time, and then the stub's own reader (ReadRawRecord + DecompressInto, one
// thread, as the extractor runs) over every record: inflate time and the most heap it held.
//
//   record_bound PAYLOAD_DIR [zlib|libdeflate] [level]
#include <libdeflate.h>
#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <new>
#include <sstream>

#include "PackageWriter.h"
#include "package/ByteSource.h"
#include "package/PackageLayout.h"
#include "package/Records.h"
#include "package/ZLibOpen.h"

// Heap in use, counted through operator new, so the reader's peak can be read off.
static std::atomic<long long> g_live{0}, g_peak{0};

void* operator new(size_t size) {
  void* p = std::malloc(size ? size : 1);
  if (!p) throw std::bad_alloc();
  long long now = g_live += static_cast<long long>(malloc_usable_size(p));
  long long peak = g_peak.load();
  while (now > peak && !g_peak.compare_exchange_weak(peak, now)) {
  }
  return p;
}
void operator delete(void* p) noexcept {
  if (!p) return;
  g_live -= static_cast<long long>(malloc_usable_size(p));
  std::free(p);
}
void* operator new[](size_t size) { return operator new(size); }
void operator delete[](void* p) noexcept { operator delete(p); }
void operator delete(void* p, size_t) noexcept { operator delete(p); }
void operator delete[](void* p, size_t) noexcept { operator delete(p); }

using namespace stub;
namespace fs = std::filesystem;
typedef std::chrono::steady_clock Clock;

static double Since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

static DeflaterFactory Libdeflate(int level) {
  return [level]() -> DeflateFunction {
    std::shared_ptr<libdeflate_compressor> c(libdeflate_alloc_compressor(level), libdeflate_free_compressor);
    return [c](const std::string& in) {
      std::string out(libdeflate_zlib_compress_bound(c.get(), in.size()), '\0');
      out.resize(libdeflate_zlib_compress(c.get(), in.data(), in.size(), &out[0], out.size()));
      return out;
    };
  };
}

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: record_bound PAYLOAD_DIR [zlib|libdeflate] [level]\n");
    return 2;
  }
  const std::string engine = argc > 2 ? argv[2] : "zlib";
  const int level = argc > 3 ? std::atoi(argv[3]) : 6;
  std::vector<PackageFile> files;
  std::vector<std::pair<std::string, fs::path>> found;
  for (auto& e : fs::recursive_directory_iterator(argv[1]))
    if (e.is_regular_file()) found.emplace_back(e.path().lexically_relative(argv[1]).generic_string(), e.path());
  std::sort(found.begin(), found.end());
  uint64_t total = 0;
  for (auto& f : found) {
    std::ifstream in(f.second, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    files.push_back(PackageFile{f.first, s.str(), 0x5A8C6000, false, ""});
    total += files.back().data.size();
  }
  std::printf("payload: %zu files, %.1f MB; %s level %d\n", files.size(), total / 1e6, engine.c_str(), level);
  std::printf("%10s %8s %12s %8s %9s %10s %10s %12s\n", "bound", "records", "package", "ratio", "build s",
              "inflate s", "MB/s", "peak heap MB");

  std::string stubBytes(4096, '\0');
  stubBytes[0] = 'M', stubBytes[1] = 'Z', stubBytes[256] = 'P', stubBytes[257] = 'E';
  const uint64_t MiB = 1 << 20;
  for (uint64_t bound : {uint64_t(0), 64 * MiB, 32 * MiB, 16 * MiB, 8 * MiB, 4 * MiB, 2 * MiB, 1 * MiB, MiB / 2}) {
    PackageSpec recipe;
    recipe.stub = stubBytes;
    recipe.level = level;
    recipe.recordBound = bound;
    recipe.storeIncompressible = true;
    recipe.threads = 2;
    recipe.deflater = engine == "libdeflate" ? Libdeflate(level) : ZlibDeflater(level);
    Clock::time_point t = Clock::now();
    std::string package = BuildPackage(recipe, files);
    const double build = Since(t);

    MemorySource source(std::move(package));
    PackageTrailer trailer;
    ReadTrailer(source, trailer);
    const int64_t end = PackageEnd(source);
    int64_t position = trailer.DataOffset();
    int records = 0;
    uint64_t inflated = 0;
    InflatedRecord out;
    g_peak = g_live.load();
    const long long before = g_live.load();
    t = Clock::now();
    do {
      RawRecord r = ReadRawRecord(source, position, end);
      position = r.next;
      if (++records <= 2) continue;
      if (r.compressed) {
        DecompressInto(r.bytes.data(), r.bytes.size(), out, nullptr);
        inflated += out.Size();
      } else {
        inflated += r.bytes.size();
      }
    } while (end - position > 74);
    const double inflate = Since(t);
    const long long peak = g_peak.load() - before;
    std::printf("%10s %8d %12lld %7.3f%% %9.2f %10.3f %10.1f %12.1f\n",
                bound ? (std::to_string(bound / 1024) + "K").c_str() : "whole", records - 2,
                static_cast<long long>(source.Size()), 100.0 * double(source.Size()) / double(total), build, inflate,
                inflated / 1e6 / inflate, peak / 1e6);
  }
  return 0;
}
