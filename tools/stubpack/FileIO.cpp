#include "FileIO.h"

#include <algorithm>
#include <system_error>

#include "Errors.h"
#include "package/PackageLayout.h"
#include "package/Records.h"
#include "support/Sha256.h"
#include "support/Text.h"

namespace stubpack {

std::unique_ptr<FileSource> FileSource::Open(const fs::path& path) {
  std::error_code error;
  if (!fs::is_regular_file(path, error)) return nullptr;
  const uintmax_t size = fs::file_size(path, error);
  if (error) return nullptr;
  std::FILE* file = OpenFile(path, "rb");
  if (!file) return nullptr;
  return std::unique_ptr<FileSource>(new FileSource(file, static_cast<int64_t>(size)));
}

FileSource::~FileSource() { std::fclose(file_); }

size_t FileSource::ReadAt(int64_t offset, void* buffer, size_t count) {
  if (offset < 0 || offset >= size_ || !SeekFile(file_, offset)) return 0;
  return std::fread(buffer, 1, count, file_);
}

std::string ReadWholeFile(const fs::path& path, const std::string& what) {
  std::unique_ptr<FileSource> source = FileSource::Open(path);
  if (!source) throw InputError("cannot read " + what + " " + TextOf(path));
  std::string bytes(static_cast<size_t>(source->Size()), '\0');
  if (!bytes.empty() && source->ReadAt(0, &bytes[0], bytes.size()) != bytes.size())
    throw InputError("cannot read " + what + " " + TextOf(path));
  return bytes;
}

std::string FileSha256(const fs::path& path) {
  std::unique_ptr<FileSource> source = FileSource::Open(path);
  if (!source) return std::string();
  stub::Sha256 hash;
  std::string buffer(1 << 20, '\0');
  for (int64_t at = 0; at < source->Size();) {
    const size_t want = static_cast<size_t>(std::min<int64_t>(buffer.size(), source->Size() - at));
    if (source->ReadAt(at, &buffer[0], want) != want) return std::string();
    hash.Update(buffer.data(), want);
    at += static_cast<int64_t>(want);
  }
  return hash.FinalHex();
}

std::string PackageStartPath(const std::string& path) {
  std::unique_ptr<FileSource> source = FileSource::Open(PathOf(path));
  if (!source) return path;
  stub::PackageTrailer trailer;
  stub::ReadTrailer(*source, trailer);
  const bool relaunches = trailer.Signature() == stub::kPackageSignature && trailer.RunFromTempCopy() &&
                          !trailer.InternetPackage() && !trailer.AgentCopy();
  return relaunches && !stub::EndsWithText(".001", path, true) ? path + ".001" : path;
}

static fs::path TemporaryOf(const fs::path& path) { return PathOf(TextOf(path) + ".partial"); }

static void MoveOver(const fs::path& from, const fs::path& to) {
  std::error_code error;
  fs::rename(from, to, error);
  if (error) {
    // Some platforms refuse to rename onto an existing file.
    fs::remove(to, error);
    fs::rename(from, to, error);
  }
  if (error) throw OutputError("cannot write " + TextOf(to) + ": " + error.message());
}

void WriteWholeFile(const fs::path& path, const std::string& bytes) {
  const fs::path temporary = TemporaryOf(path);
  std::FILE* file = OpenFile(temporary, "wb");
  if (!file) throw OutputError("cannot write " + TextOf(path));
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  if (std::fclose(file) != 0 || !written) {
    std::error_code error;
    fs::remove(temporary, error);
    throw OutputError("cannot write " + TextOf(path) + " (disk full?)");
  }
  MoveOver(temporary, path);
}

fs::path DiskPath(const fs::path& first, int disk) {
  if (disk == 1) return first;
  return PathOf(stub::DiskFileName(stub::DiskBaseName(TextOf(first)), disk));
}

FileDisks::~FileDisks() {
  if (current_) std::fclose(current_);
  if (committed_) return;
  std::error_code error;
  for (const fs::path& p : temporary_) fs::remove(p, error);
}

void FileDisks::Open(int disk) {
  const fs::path path = TemporaryOf(DiskPath(first_, disk));
  temporary_.push_back(path);
  current_ = OpenFile(path, "wb");
  if (!current_) throw OutputError("cannot write " + TextOf(DiskPath(first_, disk)));
  buffer_.resize(1 << 20);
  std::setvbuf(current_, buffer_.data(), _IOFBF, buffer_.size());
}

void FileDisks::Write(const char* data, size_t size) {
  if (std::fwrite(data, 1, size, current_) != size)
    throw OutputError("cannot write " + TextOf(temporary_.back()) + " (disk full?)");
}

void FileDisks::Close(int) {
  std::FILE* file = current_;
  current_ = nullptr;
  if (std::fclose(file) != 0) throw OutputError("cannot write " + TextOf(temporary_.back()) + " (disk full?)");
}

void FileDisks::Patch(int disk, int64_t offset, const void* data, size_t size) {
  const fs::path& path = temporary_[static_cast<size_t>(disk - 1)];
  std::FILE* file = OpenFile(path, "r+b");
  bool ok = file && SeekFile(file, offset) && std::fwrite(data, 1, size, file) == size;
  if (file && std::fclose(file) != 0) ok = false;
  if (!ok) throw OutputError("cannot update " + TextOf(path));
}

uint32_t FileDisks::Checksum(int disk) {
  std::unique_ptr<FileSource> source = FileSource::Open(temporary_[static_cast<size_t>(disk - 1)]);
  if (!source) throw OutputError("cannot read back " + TextOf(temporary_[static_cast<size_t>(disk - 1)]));
  return stub::PackageChecksum(*source, stub::kTrailerSize);
}

void FileDisks::Commit() {
  for (int d = 1; d <= Count(); ++d) MoveOver(Temporary(d), DiskPath(first_, d));
  committed_ = true;
}

}  // namespace stubpack
