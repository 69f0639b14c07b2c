// The records after the lead records: the chain of int32 length + bytes, the file record's
// header and data, the program-to-launch mark, and the names of the disk files of a split
// package. Portable, so the package tools read packages exactly as the stub does.
#pragma once

#include <cstdint>
#include <string>

#include "package/ByteSource.h"

namespace stub {

// One record of the chain at position. A record whose stated length runs past end is
// damaged: complete is false, and its bytes must not be used.
struct RawRecord {
  int32_t stated = 0;      // L: > 0 zlib stream, <= 0 stored
  bool compressed = false;
  bool complete = false;
  bool noMemory = false;   // the bytes could not be held; nothing was read
  std::string bytes;       // |L| bytes, or fewer when the record is damaged
  int64_t next = 0;        // position of the following record
};
// Reads the record at position, never past end (the logical end of the disk file). The
// bytes are read in chunks of at most 65,536, calling pump (when given) after each.
RawRecord ReadRawRecord(ByteSource& file, int64_t position, int64_t end, void (*pump)() = nullptr);
// The same into record, whose buffer is kept: reading record after record then needs no new
// memory once the largest has been read.
void ReadRawRecordInto(ByteSource& file, int64_t position, int64_t end, RawRecord& record, void (*pump)() = nullptr);

// A file record's content split at its first 0x00 byte: header before, data after.
struct FileRecord {
  bool valid = false;      // there was a 0x00 and a non-empty header
  std::string header;
  std::string data;
  std::string path;        // field 0 without "*" and what follows it
  uint32_t dosDateTime = 0;// field 1 as a number; 0 when it is not one
  bool hasMainMark = false;
  std::string mainFile;    // field 0 with "*" and the parameters (or the header, see below)
};
FileRecord ParseFileRecord(const std::string& content);

// True when path stays inside the destination folder: relative, no drive, no leading "\" or
// "/", no ".." component, no empty name, no characters Windows cannot name a file with, no
// device name (CON, NUL, COM1 ...).
bool IsSafeRelativePath(const std::string& path);

// The base name of a split package: the path without a trailing ".001" (case ignored).
std::string DiskBaseName(const std::string& firstPath);
// Disk n of base: base + "." + n with at least three digits (setup.exe.002, B.1000).
std::string DiskFileName(const std::string& base, int64_t disk);

}  // namespace stub
