// Files as the package code wants them: a ByteSource over a file, whole-file reads, and the
// disk files of a package being built, written under temporary names until the build ends.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "PackageWriter.h"
#include "Platform.h"
#include "package/ByteSource.h"

namespace stubpack {

class FileSource : public stub::ByteSource {
 public:
  // Null when the file cannot be opened.
  static std::unique_ptr<FileSource> Open(const fs::path& path);
  ~FileSource() override;
  int64_t Size() override { return size_; }
  size_t ReadAt(int64_t offset, void* buffer, size_t count) override;

 private:
  FileSource(std::FILE* file, int64_t size) : file_(file), size_(size) {}
  std::FILE* file_;
  int64_t size_;
};

// The whole file; throws an input error naming `what` when it cannot be read.
std::string ReadWholeFile(const fs::path& path, const std::string& what);
// The file's SHA-256 in lowercase hex (what an update description names the file by); empty
// when it cannot be read.
std::string FileSha256(const fs::path& path);
// Writes bytes to path through a temporary name; throws an output error.
void WriteWholeFile(const fs::path& path, const std::string& bytes);

// Where the stub reads the package of the file at path: a stub that relaunches from a
// temporary copy reads it from path + ".001" on; any other file holds its own package.
std::string PackageStartPath(const std::string& path);

// The names of a set: disk 1 is the output path itself, disk n its base name + ".00n".
fs::path DiskPath(const fs::path& first, int disk);

class FileDisks : public stub::DiskSink {
 public:
  explicit FileDisks(const fs::path& first) : first_(first) {}
  ~FileDisks() override;  // removes what was not committed
  void Open(int disk) override;
  void Write(const char* data, size_t size) override;
  void Close(int disk) override;
  void Patch(int disk, int64_t offset, const void* data, size_t size) override;
  uint32_t Checksum(int disk) override;
  // Moves every disk file to its final name.
  void Commit();
  int Count() const { return static_cast<int>(temporary_.size()); }
  fs::path Temporary(int disk) const { return temporary_[static_cast<size_t>(disk - 1)]; }

 private:
  fs::path first_;
  std::vector<fs::path> temporary_;
  std::FILE* current_ = nullptr;
  std::vector<char> buffer_;
  bool committed_ = false;
};

}  // namespace stubpack
