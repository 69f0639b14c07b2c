#include "package/ZLibOpen.h"

#include <zlib.h>

#include <cstring>
#include <new>

namespace stub {

// The pump called after each enlargement of the output, and the output ceiling.
static PumpHook g_pump = nullptr;
static const size_t kDefaultOutputLimit = size_t(1) << 30;
static size_t g_outputLimit = kDefaultOutputLimit;

// Blocks grow geometrically up to this size; larger ones only when the step itself is larger.
static const size_t kLargestGrowth = size_t(1) << 20;

void SetDecompressPump(PumpHook pump) { g_pump = pump; }
void SetDecompressLimitForTesting(size_t limit) { g_outputLimit = limit ? limit : kDefaultOutputLimit; }

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

static void ThrowNoMemory() { throw EZLibError(Z_MEM_ERROR, ZLibMessage(Z_MEM_ERROR)); }

static void* ZAlloc(void*, uInt items, uInt size) {
  if (size != 0 && items > static_cast<size_t>(-1) / size) return nullptr;
  return ::operator new(size_t(items) * size, std::nothrow);
}
static void ZFree(void*, void* block) { ::operator delete(block); }

size_t InflateStep(size_t inputSize) {
  if (inputSize == 0) return 256;
  return (inputSize + 255) / 256 * 256;
}

std::string InflatedRecord::ToString() const {
  std::string s;
  s.reserve(size_);
  for (size_t i = 0; i < used_.size(); ++i) s.append(blocks_[i].get(), used_[i]);
  return s;
}

void InflatedRecord::Clear() {
  used_.clear();
  size_ = 0;
}

namespace {

// Hands zlib the next block of out: a kept block when it is large enough, else a new one.
// Returns the room given to zlib.
size_t NextBlock(std::vector<std::unique_ptr<char[]>>& blocks, std::vector<size_t>& capacity,
                 std::vector<size_t>& used, size_t produced, size_t step, z_stream& stream) {
  if (produced >= g_outputLimit) ThrowNoMemory();
  size_t wanted = produced < kLargestGrowth ? produced : kLargestGrowth;
  if (wanted < step) wanted = step;
  const size_t index = used.size();
  if (index < blocks.size() && capacity[index] >= wanted) {
    wanted = capacity[index];
  } else {
    // A record that outgrows a kept block is larger than the one that left it: the kept blocks
    // from here on are let go before more memory is taken, so two large records never hold
    // memory at the same time.
    blocks.resize(index);
    capacity.resize(index);
    std::unique_ptr<char[]> block(new (std::nothrow) char[wanted]);
    if (!block) ThrowNoMemory();
    blocks.push_back(std::move(block));
    capacity.push_back(wanted);
  }
  size_t room = wanted;
  if (room > g_outputLimit - produced) room = g_outputLimit - produced;
  // zlib counts in 32 bits.
  if (room > (size_t(1) << 30)) room = size_t(1) << 30;
  used.push_back(0);
  stream.next_out = reinterpret_cast<Bytef*>(blocks[index].get());
  stream.avail_out = static_cast<uInt>(room);
  return room;
}

}  // namespace

void DecompressInto(const void* input, size_t inputSize, InflatedRecord& out, PumpHook pump) {
  out.Clear();
  const size_t step = InflateStep(inputSize);
  z_stream stream;
  std::memset(&stream, 0, sizeof stream);
  stream.zalloc = ZAlloc;
  stream.zfree = ZFree;
  const Bytef* next = static_cast<const Bytef*>(input);
  size_t unread = inputSize;
  auto feed = [&]() {
    const size_t n = unread > (size_t(1) << 30) ? (size_t(1) << 30) : unread;
    stream.next_in = const_cast<Bytef*>(next);
    stream.avail_in = static_cast<uInt>(n);
    next += n;
    unread -= n;
  };
  feed();
  bool initialised = false;
  try {
    std::vector<size_t>& used = out.used_;
    size_t room = NextBlock(out.blocks_, out.capacity_, used, 0, step, stream);
    Check(inflateInit_(&stream, "1.1.4", static_cast<int>(sizeof(z_stream))));
    initialised = true;
    int result = Check(inflate(&stream, Z_NO_FLUSH));
    while (result != Z_STREAM_END) {
      if (result == Z_NEED_DICT) throw EZLibError(Z_NEED_DICT, ZLibMessage(Z_NEED_DICT));
      if (stream.avail_out == 0) {
        used.back() = room;
        out.size_ += room;
        if (pump) pump();
        room = NextBlock(out.blocks_, out.capacity_, used, out.size_, step, stream);
      }
      if (stream.avail_in == 0 && unread > 0) feed();
      // Input that ends before the stream does leaves inflate without progress: it then
      // answers "buffer error", which ends the loop.
      result = Check(inflate(&stream, Z_NO_FLUSH));
    }
    used.back() = room - stream.avail_out;
    out.size_ += used.back();
    initialised = false;
    Check(inflateEnd(&stream));
  } catch (...) {
    if (initialised) inflateEnd(&stream);
    out.Clear();
    throw;
  }
}

void DecompressBuffer(const void* input, size_t inputSize, char** output, size_t* outputSize) {
  *output = nullptr;
  *outputSize = 0;
  InflatedRecord record;
  DecompressInto(input, inputSize, record, g_pump);
  char* buffer = new (std::nothrow) char[record.Size() ? record.Size() : 1];
  if (!buffer) ThrowNoMemory();
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
    ThrowNoMemory();
  }
}

}  // namespace stub
