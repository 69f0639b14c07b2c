// `stubpack inspect`: everything a package file (or a set of disk files) holds, read the way
// the stub reads it, with a check of the layout.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "PeInfo.h"
#include "package/PackageLayout.h"

namespace stubpack {

struct RecordView {
  int64_t offset = 0;
  int32_t stated = 0;
  bool compressed = false;
  int64_t size = 0;          // bytes in the file, after the length
  int64_t contentSize = -1;  // inflated; -1 when it could not be read
  bool lead = false;
  bool file = false;         // a file record with header and 0x00
  std::string header, path, mainFile;
  uint32_t date = 0;
  bool main = false;
  int64_t dataSize = 0;
};

struct DiskView {
  std::string path;
  int64_t physical = 0;
  int64_t logical = 0;       // as stored at 248/252; 0 when none
  int64_t end = 0;           // where the package ends
  bool isPE = false;
  stub::PackageTrailer trailer;
  uint32_t checksum = 0;     // computed
  bool checksumOk = false;
  CertificateTable certificate;
  std::vector<RecordView> records;
};

struct PackageView {
  std::vector<DiskView> disks;
  std::string language, settings, download;
  uint64_t distinctFiles = 0, dataSize = 0, clusters[8] = {};
  std::vector<std::string> problems;  // the stub would not read the package whole
  std::vector<std::string> notes;     // values that differ from what stubpack writes
};

// Why the file at path is no setup package at all: a Windows program, or any other file.
// Empty for a package, whole or damaged (one that still ends in a trailer's size, or a stub
// that records its package's length).
std::string NotAPackage(stub::ByteSource& file, const std::string& path);

// Reads the package at path and every disk that follows it; package texts in messages are
// shown from the given code page. Throws an input error for a file that is no package.
PackageView ReadPackageView(const std::string& path, int codePage);

void PrintView(const PackageView& view, int codePage);
void PrintViewJson(const PackageView& view, int codePage);

}  // namespace stubpack
