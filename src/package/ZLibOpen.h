// Inflating one compressed package record, all in memory.
#pragma once

#include <cstddef>
#include <memory>
#include <exception>
#include <string>
#include <vector>

namespace stub {

// Raised by the Decompress functions for any negative zlib result; the message is zlib's
// text for the code. A stream that asks for a preset dictionary also raises it ("need
// dictionary"): no package record has one, and waiting for it would grow the output forever.
class EZLibError : public std::exception {
 public:
  // message: a text that lives as long as the program (zlib's own texts do).
  EZLibError(int code, const char* message) : code_(code), message_(message) {}
  int Code() const { return code_; }
  const char* what() const noexcept override { return message_; }

 private:
  int code_;
  const char* message_;
};

const char* ZLibMessage(int code);

// Called after every enlargement of the output, so a window can stay responsive. The Windows
// layer points it at the message pump; null does nothing.
typedef void (*PumpHook)();
void SetDecompressPump(PumpHook pump);
// Largest output a record may inflate to (tests lower it); the default is 1 GiB. Larger
// outputs raise EZLibError ("insufficient memory").
void SetDecompressLimitForTesting(size_t limit);

// The first output block, and the smallest one: the input size rounded up to 256 bytes.
size_t InflateStep(size_t inputSize);

// The content of one inflated record as a chain of blocks. The chain grows geometrically
// (each new block as large as everything before it, up to 1 MiB, never below the step), so
// a record that inflates a thousand times is neither copied nor enlarged a thousand times.
// Clear keeps the blocks, so extracting many records reuses the same memory.
class InflatedRecord {
 public:
  struct Piece {
    const char* data;
    size_t size;
  };
  size_t Size() const { return size_; }
  size_t PieceCount() const { return used_.size(); }
  Piece PieceAt(size_t i) const { return Piece{blocks_[i].get(), used_[i]}; }
  std::string ToString() const;
  void Clear();

 private:
  friend int TryDecompressInto(const void*, size_t, InflatedRecord&, PumpHook);
  std::vector<std::unique_ptr<char[]>> blocks_;
  std::vector<size_t> capacity_;  // of every kept block
  std::vector<size_t> used_;      // of the blocks of the current record
  size_t size_ = 0;
};

// Inflates a whole zlib stream into out (cleared first); pump is called after every new
// block. Trailing bytes after the end of the stream are ignored. Returns 0, or the code
// EZLibError would carry (out is then empty). The stub, built without exceptions, uses this.
int TryDecompressInto(const void* input, size_t inputSize, InflatedRecord& out, PumpHook pump);
// Where inflated bytes go when they are not kept in an InflatedRecord: span by span, into
// memory the sink lends (the extraction's write queue).
class InflateSink {
 public:
  virtual ~InflateSink() = default;
  // Room for the next bytes, at least one; null when there is no memory for more.
  virtual char* Room(size_t& size) = 0;
  // The first n bytes of the last room were filled.
  virtual void Filled(size_t n) = 0;
};
// Inflates a whole zlib stream into the sink, with the same results, limit and trailing-byte
// rule as TryDecompressInto; pump is called about once per MiB of output. On an error the sink
// holds part of the output, which the caller drops.
int TryDecompressToSink(const void* input, size_t inputSize, InflateSink& sink, PumpHook pump);

// The same, raising EZLibError.
void DecompressInto(const void* input, size_t inputSize, InflatedRecord& out, PumpHook pump);

// The same into one string or one buffer.
void DecompressString(const std::string& input, std::string& output);
// *output is allocated with new[], exactly *outputSize bytes long, and belongs to the caller.
void DecompressBuffer(const void* input, size_t inputSize, char** output, size_t* outputSize);

}  // namespace stub
