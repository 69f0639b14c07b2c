#include "package/ZLibOpen.h"

#include <zlib.h>

#include <cstring>
#include <new>

namespace stub {

// The pump called after each enlargement of the output, and the output ceiling.
static PumpHook g_pump = nullptr;
static size_t g_outputLimit = size_t(1) << 30;

void SetDecompressPump(PumpHook pump) { g_pump = pump; }
void SetDecompressLimitForTesting(size_t limit) { g_outputLimit = limit ? limit : (size_t(1) << 30); }

const char* ZLibMessage(int code) {
  switch (code) {
    case 2: return "need dictionary";
    case 1: return "stream end";
    case 0: return "";
    case -1: return "file error";
    case -2: return "stream error";
    case -3: return "data error";
    case -4: return "insufficient memory";
    case -5: return "buffer error";
    case -6: return "incompatible version";
    default: return "";
  }
}

static int Check(int code) {
  if (code < 0) throw EZLibError(code, ZLibMessage(code));
  return code;
}

static void* ZAlloc(void*, uInt items, uInt size) { return ::operator new(size_t(items) * size, std::nothrow); }
static void ZFree(void*, void* block) { ::operator delete(block); }

void DecompressBuffer(const void* input, size_t inputSize, char** output, size_t* outputSize) {
  *output = nullptr;
  *outputSize = 0;
  const size_t step = (inputSize + 255) / 256 * 256 + (inputSize == 0 ? 256 : 0);
  size_t capacity = step;
  char* buffer = new (std::nothrow) char[capacity];
  if (!buffer) throw EZLibError(Z_MEM_ERROR, ZLibMessage(Z_MEM_ERROR));

  z_stream stream;
  std::memset(&stream, 0, sizeof stream);
  stream.zalloc = ZAlloc;
  stream.zfree = ZFree;
  stream.next_in = static_cast<Bytef*>(const_cast<void*>(input));
  stream.avail_in = static_cast<uInt>(inputSize);
  stream.next_out = reinterpret_cast<Bytef*>(buffer);
  stream.avail_out = static_cast<uInt>(capacity);
  bool initialised = false;
  try {
    Check(inflateInit_(&stream, "1.1.4", static_cast<int>(sizeof(z_stream))));
    initialised = true;
    int result = Check(inflate(&stream, Z_NO_FLUSH));
    while (result != Z_STREAM_END) {
      if (g_pump) g_pump();
      // Grow by at least the input step and at least half of what is there.
      size_t grow = capacity / 2 > step ? capacity / 2 : step;
      if (capacity >= g_outputLimit || grow > g_outputLimit - capacity) throw EZLibError(Z_MEM_ERROR, ZLibMessage(Z_MEM_ERROR));
      char* larger = new (std::nothrow) char[capacity + grow];
      if (!larger) throw EZLibError(Z_MEM_ERROR, ZLibMessage(Z_MEM_ERROR));
      const size_t produced = capacity - stream.avail_out;
      std::memcpy(larger, buffer, produced);
      delete[] buffer;
      buffer = larger;
      capacity += grow;
      stream.next_out = reinterpret_cast<Bytef*>(buffer + produced);
      // zlib counts in 32 bits: hand it at most 1 GiB of room at a time.
      size_t room = capacity - produced;
      stream.avail_out = static_cast<uInt>(room > (size_t(1) << 30) ? (size_t(1) << 30) : room);
      result = Check(inflate(&stream, Z_NO_FLUSH));
    }
    initialised = false;
    Check(inflateEnd(&stream));
  } catch (...) {
    if (initialised) inflateEnd(&stream);
    delete[] buffer;
    throw;
  }
  *output = buffer;
  *outputSize = static_cast<size_t>(stream.total_out);
}

void DecompressString(const std::string& input, std::string& output) {
  char* buffer = nullptr;
  size_t size = 0;
  DecompressBuffer(input.data(), input.size(), &buffer, &size);
  try {
    output.assign(buffer, size);
  } catch (...) {
    delete[] buffer;
    throw EZLibError(Z_MEM_ERROR, ZLibMessage(Z_MEM_ERROR));
  }
  delete[] buffer;
}

}  // namespace stub
