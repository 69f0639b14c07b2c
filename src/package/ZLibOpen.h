// Inflating one compressed package record, all in memory.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>

namespace stub {

// Raised for any negative zlib result; the message is zlib's text for the code.
class EZLibError : public std::runtime_error {
 public:
  EZLibError(int code, const std::string& message) : std::runtime_error(message), code_(code) {}
  int Code() const { return code_; }

 private:
  int code_;
};

const char* ZLibMessage(int code);

// Inflates a whole zlib stream. The output grows geometrically, so a record that inflates a
// thousand times is not copied a thousand times; an output that cannot be held raises
// EZLibError ("insufficient memory").
void DecompressString(const std::string& input, std::string& output);
// The working routine: *output is allocated with new[] and belongs to the caller.
void DecompressBuffer(const void* input, size_t inputSize, char** output, size_t* outputSize);

// Called after every enlargement of the output, so a window can stay responsive. The Windows
// layer points it at the message pump; null does nothing.
typedef void (*PumpHook)();
void SetDecompressPump(PumpHook pump);
// Largest output a record may inflate to (tests lower it); the default is 1 GiB.
void SetDecompressLimitForTesting(size_t limit);

}  // namespace stub
