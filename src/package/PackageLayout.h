// The package appended to the stub: its 74-byte trailer at the logical end, the lead
// records at DataOffset, and the checksum over the file. Little-endian throughout.
//
//   0        the stub program ("MZ" at 0, "PE" at 256)
//   248      high 32 bits of the logical length     252  low 32 bits
//   DataOffset  records: int32 length L and |L| bytes each; lead records first
//   end - 74    the trailer; "end" is the logical length when set, else the file size
//   end      anything appended later, such as a code signature
#pragma once

#include <cstdint>
#include <string>

#include "package/ByteSource.h"

namespace stub {

const uint32_t kPackageSignature = 0x4A3B2C1D;
const uint32_t kTrailerSize = 74;
const uint32_t kChecksumExempt = 1234;
const int64_t kChecksumSizeLimit = 52428800;  // 50 MiB: larger files are not summed
const int64_t kLogicalLengthOffset = 248;

// Trailer flag bits (byte 65).
enum : uint8_t {
  kFlagAnnounceTempExtraction = 1,
  kFlagMoreDisks = 2,
  kFlagRunFromTempCopy = 4,
  kFlagShowActivityBar = 8,
  kFlagLog = 16,
};

struct PackageTrailer {
  uint8_t bytes[kTrailerSize] = {};

  uint8_t Version() const { return bytes[0]; }
  uint8_t LeadRecordCount() const { return bytes[1]; }
  uint32_t DataOffset() const { return U32(4); }
  uint32_t FilesCount() const { return U32(8); }
  uint32_t Signature() const { return U32(12); }
  uint32_t Checksum() const { return U32(16); }
  uint32_t DataSize() const { return U32(28); }
  uint32_t ClusterDataSize(int i) const { return U32(32 + 4 * i); }  // i = 0..7: 512..65536
  uint8_t Flags() const { return bytes[65]; }
  bool AnnounceTempExtraction() const { return Flags() & kFlagAnnounceTempExtraction; }
  bool MoreDisks() const { return Flags() & kFlagMoreDisks; }
  bool RunFromTempCopy() const { return Flags() & kFlagRunFromTempCopy; }
  bool ShowActivityBar() const { return Flags() & kFlagShowActivityBar; }
  bool LogFlag() const { return Flags() & kFlagLog; }
  bool InternetPackage() const { return bytes[66] != 0; }
  bool AskBeforeDownload() const { return bytes[67] != 0; }
  bool MakeAgentCopy() const { return bytes[68] != 0; }
  bool AgentCopy() const { return bytes[69] != 0; }
  uint32_t TrailerSize() const { return U32(70); }

  void SetU32(size_t offset, uint32_t value);
  uint32_t U32(size_t offset) const;
  void Clear();
};

uint32_t ReadU32LE(const uint8_t* p);
void WriteU32LE(uint8_t* p, uint32_t value);

bool IsPEFile(ByteSource& file);
// The 64-bit logical length stored at 248/252 (0 when the file is not such a PE).
int64_t StoredLogicalLength(ByteSource& file);
// Where the package ends: the logical length when the file is a PE and it is above 0, else
// the physical size.
int64_t PackageEnd(ByteSource& file);
// Reads the trailer into an already cleared record; bytes the stored size does not cover
// keep their values. TrailerSize becomes min(74, stored size); LeadRecordCount 0 reads as 2.
void ReadTrailer(ByteSource& file, PackageTrailer& trailer);

// Sum over the file as the stub checks it; kChecksumExempt for files above 50 MiB.
uint32_t PackageChecksum(ByteSource& file, uint32_t trailerSize);

// The lead records: language block, settings record and, when there are more than two, the
// download record. A record is never read past the end of the file, whatever its stated
// length; a negative length gives an empty record, and so does one longer than
// kLeadRecordLimit: real ones hold a few kilobytes of texts and settings, and the reader must
// not be made to hold a stated 2 GiB in memory. The package builder refuses longer ones.
const uint32_t kLeadRecordLimit = 1048576;
struct LeadRecords {
  std::string language;
  std::string settings;
  std::string download;
};
LeadRecords ReadLeadRecords(ByteSource& file, const PackageTrailer& trailer);

// The package's size on a drive of the given cluster size: DataSize, or the cluster-rounded
// total of the largest of the eight cluster sizes not above it.
double SpaceNeededForCluster(const PackageTrailer& trailer, uint64_t clusterSize);

}  // namespace stub
