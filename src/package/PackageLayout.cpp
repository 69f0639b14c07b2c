#include "package/PackageLayout.h"

#include <cstring>
#include <vector>

namespace stub {

uint32_t ReadU32LE(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void WriteU32LE(uint8_t* p, uint32_t value) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t PackageTrailer::U32(size_t offset) const { return ReadU32LE(bytes + offset); }
void PackageTrailer::SetU32(size_t offset, uint32_t value) { WriteU32LE(bytes + offset, value); }
void PackageTrailer::Clear() { std::memset(bytes, 0, sizeof bytes); }

static bool ReadExact(ByteSource& file, int64_t offset, void* buffer, size_t count) {
  return file.ReadAt(offset, buffer, count) == count;
}

bool IsPEFile(ByteSource& file) {
  char mz[2], pe[2];
  return ReadExact(file, 0, mz, 2) && mz[0] == 'M' && mz[1] == 'Z' && ReadExact(file, 256, pe, 2) &&
         pe[0] == 'P' && pe[1] == 'E';
}

int64_t StoredLogicalLength(ByteSource& file) {
  uint8_t raw[8];
  if (!IsPEFile(file) || !ReadExact(file, kLogicalLengthOffset, raw, 8)) return 0;
  uint64_t value = uint64_t(ReadU32LE(raw)) << 32 | ReadU32LE(raw + 4);
  return static_cast<int64_t>(value);
}

int64_t PackageEnd(ByteSource& file) {
  int64_t logical = StoredLogicalLength(file);
  return logical > 0 ? logical : file.Size();
}

void ReadTrailer(ByteSource& file, PackageTrailer& trailer) {
  const int64_t physical = file.Size();
  uint8_t raw[4] = {0, 0, 0, 0};
  file.ReadAt(physical - 4, raw, 4);
  uint32_t stored = ReadU32LE(raw);
  int64_t position = physical - int64_t(stored);
  int64_t logical = StoredLogicalLength(file);
  if (logical > 0) {
    uint8_t again[4] = {0, 0, 0, 0};
    file.ReadAt(logical - 4, again, 4);
    stored = ReadU32LE(again);
    position = logical - int64_t(stored);
  }
  const uint32_t n = stored < kTrailerSize ? stored : kTrailerSize;
  if (n > 4) file.ReadAt(position, trailer.bytes, n - 4);
  trailer.SetU32(70, n);
  if (trailer.bytes[1] == 0) trailer.bytes[1] = 2;
}

uint32_t PackageChecksum(ByteSource& file, uint32_t trailerSize) {
  const int64_t physical = file.Size();
  if (physical > kChecksumSizeLimit) return kChecksumExempt;
  int64_t remaining = physical;
  bool logicalUsed = false;
  uint8_t raw[4];
  if (IsPEFile(file) && ReadExact(file, 252, raw, 4) && ReadU32LE(raw) > 0) {
    remaining = ReadU32LE(raw);
    logicalUsed = true;
  }
  remaining -= trailerSize;
  int64_t offset = 0;
  if (logicalUsed) {
    remaining -= 512;
    offset = 512;
  }
  uint32_t sum = 0;
  std::vector<uint8_t> block(4096);
  for (;;) {
    size_t got = file.ReadAt(offset, block.data(), block.size());
    offset += static_cast<int64_t>(got);
    for (size_t i = 0; i + 4 <= got; i += 4) {
      remaining -= 4;
      if (remaining > 4) sum += ReadU32LE(&block[i]);
    }
    if (remaining > 4) sum += kChecksumExempt;
    if (got < block.size()) break;
  }
  return sum;
}

// One lead record at position: its bytes, bounded by the file, and the next position.
static std::string ReadRecord(ByteSource& file, int64_t& position) {
  uint8_t raw[4];
  if (!ReadExact(file, position, raw, 4)) {
    position += 4;
    return std::string();
  }
  const int32_t stated = static_cast<int32_t>(ReadU32LE(raw));
  const int64_t length = stated < 0 ? -int64_t(stated) : int64_t(stated);
  const int64_t start = position + 4;
  position = start + length;
  if (stated <= 0 || uint32_t(stated) > kLeadRecordLimit) return std::string();
  const int64_t available = file.Size() - start;
  if (available <= 0) return std::string();
  std::string bytes(static_cast<size_t>(length < available ? length : available), '\0');
  bytes.resize(file.ReadAt(start, &bytes[0], bytes.size()));
  return bytes;
}

LeadRecords ReadLeadRecords(ByteSource& file, const PackageTrailer& trailer) {
  LeadRecords records;
  int64_t position = trailer.DataOffset();
  records.language = ReadRecord(file, position);
  records.settings = ReadRecord(file, position);
  if (trailer.LeadRecordCount() > 2) records.download = ReadRecord(file, position);
  return records;
}

double SpaceNeededForCluster(const PackageTrailer& trailer, uint64_t clusterSize) {
  uint32_t result = trailer.DataSize();
  for (int i = 1; i <= 8; ++i) {
    uint64_t c = uint64_t(256) << i;
    if (clusterSize >= c) result = trailer.ClusterDataSize(i - 1);
  }
  return static_cast<double>(result);
}

}  // namespace stub
