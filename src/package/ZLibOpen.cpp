#include "package/ZLibOpen.h"

#include <zlib.h>

#include <cstring>
#include <new>

namespace stub {

// The output ceiling.
static const size_t kDefaultOutputLimit = size_t(1) << 30;
static size_t g_outputLimit = kDefaultOutputLimit;

// Blocks grow geometrically up to this size; larger ones only when the step itself is larger.
static const size_t kLargestGrowth = size_t(1) << 20;

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
// Returns the room given to zlib, or 0 when the output would pass the ceiling or the memory
// is not there.
size_t NextBlock(std::vector<std::unique_ptr<char[]>>& blocks, std::vector<size_t>& capacity,
                 std::vector<size_t>& used, size_t produced, size_t step, z_stream& stream) {
  if (produced >= g_outputLimit) return 0;
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
    if (!block) return 0;
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

int TryDecompressInto(const void* input, size_t inputSize, InflatedRecord& out, PumpHook pump) {
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
  std::vector<size_t>& used = out.used_;
  size_t room = NextBlock(out.blocks_, out.capacity_, used, 0, step, stream);
  if (room == 0) return Z_MEM_ERROR;
  int result = inflateInit_(&stream, "1.1.4", static_cast<int>(sizeof(z_stream)));
  if (result < 0) {
    out.Clear();
    return result;
  }
  result = inflate(&stream, Z_NO_FLUSH);
  while (result == Z_OK) {
    if (stream.avail_out == 0) {
      used.back() = room;
      out.size_ += room;
      if (pump) pump();
      room = NextBlock(out.blocks_, out.capacity_, used, out.size_, step, stream);
      if (room == 0) {
        result = Z_MEM_ERROR;
        break;
      }
    }
    if (stream.avail_in == 0 && unread > 0) feed();
    // Input that ends before the stream does leaves inflate without progress: it then
    // answers "buffer error", which ends the loop.
    result = inflate(&stream, Z_NO_FLUSH);
  }
  if (result == Z_STREAM_END) {
    used.back() = room - stream.avail_out;
    out.size_ += used.back();
    result = inflateEnd(&stream);
    if (result == Z_OK) return Z_OK;
  } else {
    inflateEnd(&stream);
  }
  out.Clear();
  return result;
}

int TryDecompressToSink(const void* input, size_t inputSize, InflateSink& sink, PumpHook pump) {
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
  int result = inflateInit_(&stream, "1.1.4", static_cast<int>(sizeof(z_stream)));
  if (result < 0) return result;
  size_t produced = 0, room = 0, sincePump = 0;
  do {
    if (stream.avail_out == 0) {
      if (room) sink.Filled(room);
      if (produced >= g_outputLimit) {
        result = Z_MEM_ERROR;
        break;
      }
      char* at = sink.Room(room);
      if (!at) {
        result = Z_MEM_ERROR;
        break;
      }
      if (room > g_outputLimit - produced) room = g_outputLimit - produced;
      if (room > (size_t(1) << 30)) room = size_t(1) << 30;
      stream.next_out = reinterpret_cast<Bytef*>(at);
      stream.avail_out = static_cast<uInt>(room);
    }
    if (stream.avail_in == 0 && unread > 0) feed();
    const uInt before = stream.avail_out;
    // Input that ends before the stream does leaves inflate without progress: it then
    // answers "buffer error", which ends the loop.
    result = inflate(&stream, Z_NO_FLUSH);
    produced += before - stream.avail_out;
    sincePump += before - stream.avail_out;
    if (pump && sincePump >= kLargestGrowth) {
      sincePump = 0;
      pump();
    }
  } while (result == Z_OK);
  if (result == Z_STREAM_END) {
    sink.Filled(room - stream.avail_out);
    return inflateEnd(&stream);
  }
  inflateEnd(&stream);
  return result;
}

}  // namespace stub
