// SHA-256 of a byte stream, and the hex form in which an update description names one.
// The stub asks the system's CryptoAPI for the hash of a file (FileHash.h); this portable
// version serves the package builder, which must print the same hash on any system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace stub {

class Sha256 {
 public:
  Sha256();
  void Update(const void* data, size_t size);
  // The digest as 64 lowercase hex digits; the object is spent afterwards.
  std::string FinalHex();

 private:
  void Block(const uint8_t* block);

  uint32_t state_[8];
  uint8_t buffer_[64];
  size_t buffered_ = 0;
  uint64_t length_ = 0;
};

// Lowercase hex of bytes.
std::string HexOf(const uint8_t* bytes, size_t size);

// A hash as written in a description file: 64 hex digits in either case, blanks around them
// allowed. The lowercase digits, or empty when the text is no such hash.
std::string NormalizedSha256(const std::string& text);

}  // namespace stub
