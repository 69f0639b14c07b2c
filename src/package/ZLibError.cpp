// The Decompress functions that raise EZLibError, for the package tools and the tests. Kept
// apart from the inflating itself, which returns zlib's code: the stub reads that result and
// never links this file.
#include "package/ZLibOpen.h"

#include <zlib.h>

#include <cstring>
#include <new>

namespace stub {

// The pump the Decompress functions hand to the inflating.
static PumpHook g_pump = nullptr;

void SetDecompressPump(PumpHook pump) { g_pump = pump; }

[[noreturn]] static void Raise(int code) { throw EZLibError(code, ZLibMessage(code)); }

void DecompressInto(const void* input, size_t inputSize, InflatedRecord& out, PumpHook pump) {
  if (const int code = TryDecompressInto(input, inputSize, out, pump)) Raise(code);
}

void DecompressBuffer(const void* input, size_t inputSize, char** output, size_t* outputSize) {
  *output = nullptr;
  *outputSize = 0;
  InflatedRecord record;
  DecompressInto(input, inputSize, record, g_pump);
  char* buffer = new (std::nothrow) char[record.Size() ? record.Size() : 1];
  if (!buffer) Raise(Z_MEM_ERROR);
  size_t at = 0;
  for (size_t i = 0; i < record.PieceCount(); ++i) {
    InflatedRecord::Piece piece = record.PieceAt(i);
    std::memcpy(buffer + at, piece.data, piece.size);
    at += piece.size;
  }
  *output = buffer;
  *outputSize = at;
}

void DecompressString(const std::string& input, std::string& output) {
  InflatedRecord record;
  DecompressInto(input.data(), input.size(), record, g_pump);
  try {
    output = record.ToString();
  } catch (const std::bad_alloc&) {
    Raise(Z_MEM_ERROR);
  }
}

}  // namespace stub
