// Random access to the bytes of a package file. The package code reads through this, so the
// same parsers run on a Win32 file, a host file or a buffer in a test or fuzzer.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace stub {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual int64_t Size() = 0;
  // Reads up to count bytes at offset; returns how many arrived (0 past the end, on a
  // negative offset or on an error).
  virtual size_t ReadAt(int64_t offset, void* buffer, size_t count) = 0;
};

class MemorySource : public ByteSource {
 public:
  explicit MemorySource(std::string bytes) : bytes_(std::move(bytes)) {}
  int64_t Size() override { return static_cast<int64_t>(bytes_.size()); }
  size_t ReadAt(int64_t offset, void* buffer, size_t count) override;

 private:
  std::string bytes_;
};

// Opens a file for reading with sharing allowed; null when it cannot be opened. Implemented
// once for Windows and once for the host.
std::unique_ptr<ByteSource> OpenFileSource(const std::string& path);
// The same for a package about to be checked and extracted: others may read it while it is
// open, but not write, rename or delete it, so the bytes read are the bytes checked.
std::unique_ptr<ByteSource> OpenFileSourceHeld(const std::string& path);
bool PathIsFile(const std::string& path);

}  // namespace stub
