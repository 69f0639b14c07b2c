// Lays out a package exactly as the stub reads it: the stub program, the lead records, the
// file records, the 74-byte trailer, the logical length at 248/252 and the checksum, on one
// file or split over disk files. Used by the package builder, mkpkg and the tests.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "package/ByteSource.h"
#include "support/Text.h"

namespace stub {

struct PackageFile {
  std::string path;         // relative to the destination folder, "\" separated
  std::string data;
  uint32_t dosDateTime = 0; // packed DOS date (high 16 bits) and time (low 16 bits)
  bool main = false;        // the program to launch
  std::string mainArgs;     // extra parameters written after the "*"
};

// Compresses one record's content into a zlib stream. Each worker thread gets its own.
typedef std::function<std::string(const std::string& content)> DeflateFunction;
typedef std::function<DeflateFunction()> DeflaterFactory;
DeflaterFactory ZlibDeflater(int level);

struct PackageSpec {
  std::string stub;             // the stub program's bytes
  std::string languageBlock;    // lead record 1
  std::string settingsRecord;   // lead record 2
  std::string downloadRecord;   // lead record 3, written when hasDownloadRecord
  bool hasDownloadRecord = false;
  uint8_t flags = 0;            // trailer byte 65; MoreDisks is added where a disk follows
  bool internetPackage = false;
  bool askBeforeDownload = false;
  bool makeAgentCopy = false;
  bool agentCopy = false;
  int level = 6;                // deflate level; 0 stores the records
  bool writeLogicalLength = true;
  uint64_t diskSize = 0;        // 0: one file; else no disk file is larger than this
  uint64_t recordBound = 0;     // most data bytes per record; 0: one record per file
  bool storeIncompressible = false;  // store a record that deflate does not make smaller
  int threads = 1;              // compression threads
  DeflaterFactory deflater;     // null: zlib at `level`
};

// A layout that cannot be written (disk too small, totals beyond the 32-bit fields, a path
// no delimiter can enclose): the inputs or options must change.
class PackageError : public std::runtime_error {
 public:
  explicit PackageError(const std::string& what) : std::runtime_error(what) {}
};

// The header of a file record: a field list of the path (with "*" + parameters for the
// main program) and the date, its delimiter chosen so that it occurs in neither.
std::string RecordHeader(const std::string& path, bool main, const std::string& mainArgs, uint32_t dosDateTime);
std::string FileRecordHeader(const PackageFile& file);
std::string LanguageSection(const std::string& name, const std::vector<std::string>& entries);
std::string LanguageBlockOf(const std::vector<std::string>& sections);
uint32_t DistinctFileCount(const std::vector<PackageFile>& files);

// Lead records 2 and 3 with "|" as delimiter unless a field holds it. Tokens are given
// scrambled.
std::string SettingsRecordOf(const std::string& updateUrl, const std::string& infoFile, const std::string& agentFile,
                             const std::string& scrambledToken, bool hide);
std::string DownloadRecordOf(const std::string& url, const std::string& fileName, bool noLocalCopy,
                             const std::string& scrambledToken, const std::string& sizeText);
// The scrambled form of a token, the same for the same clear text, so builds are repeatable.
std::string StableScrambledToken(const std::string& clear);

// Packed DOS date-times (local time); dates outside 1980..2107 are clamped to its ends.
uint32_t PackDosDateTime(const CivilTime& t);
CivilTime UnpackDosDateTime(uint32_t packed);

// Package-wide totals of the trailer. FilesCount counts distinct paths: the extractor
// advances its file bar once per file it creates, and once per disk change.
struct PackageTotals {
  uint64_t files = 0;
  uint64_t dataSize = 0;
  uint64_t clusters[8] = {};
  void AddFile(uint64_t size);
};

// One record ready for the chain: the header it was made from, the data it holds (kept
// only where a disk boundary may cut the record again) and the bytes: length + payload.
struct EncodedRecord {
  std::string header;
  std::string data;
  uint64_t dataLength = 0;
  std::string bytes;
};
EncodedRecord EncodeRecord(const std::string& header, const std::string& data, int level,
                           const DeflateFunction& deflate, bool storeIncompressible);

// A piece of one input file that becomes one record.
struct RecordJob {
  size_t file = 0;          // caller's index of the file
  std::string header;
  uint64_t offset = 0;
  uint64_t length = 0;
};
// Cuts files of the given sizes into pieces of at most bound bytes (0: whole files); an
// empty file still gets its record.
std::vector<RecordJob> PlanRecords(const std::vector<std::string>& headers, const std::vector<uint64_t>& sizes,
                                   uint64_t bound);

// Encodes the jobs on `threads` threads and hands the records to consume in job order. At
// most a few records per thread are held at a time. Errors of read, deflate or consume end
// the run and are rethrown here.
typedef std::function<std::string(const RecordJob& job)> ReadPiece;
void EncodeRecords(const std::vector<RecordJob>& jobs, const ReadPiece& read, const PackageSpec& recipe,
                   bool keepData, const std::function<void(EncodedRecord&&)>& consume);

// Where the disk files go: memory in tests, files in the builder. Disks are numbered from
// 1; a closed disk can still be patched and summed.
class DiskSink {
 public:
  virtual ~DiskSink() = default;
  virtual void Open(int disk) = 0;
  virtual void Write(const char* data, size_t size) = 0;
  virtual void Close(int disk) = 0;
  virtual void Patch(int disk, int64_t offset, const void* data, size_t size) = 0;
  virtual uint32_t Checksum(int disk) = 0;  // PackageChecksum of the closed disk
};

class MemoryDisks : public DiskSink {
 public:
  std::vector<std::string> disks;
  void Open(int disk) override;
  void Write(const char* data, size_t size) override;
  void Close(int) override {}
  void Patch(int disk, int64_t offset, const void* data, size_t size) override;
  uint32_t Checksum(int disk) override;
};

// Lays records into disk files: the stub and lead records open disk 1; a record that does
// not fit the rest of a disk is cut (its prefix fills the disk, the rest goes on) so that no
// record straddles two files; every disk ends with its trailer and checksum.
class PackageAssembler {
 public:
  PackageAssembler(const PackageSpec& recipe, const PackageTotals& totals, DiskSink& sink);
  void Add(EncodedRecord record);
  // Closes the last disk and fills in FilesCount; returns the number of disks.
  int Finish();

 private:
  void OpenDisk();
  void CloseDisk(bool more);
  void Put(const std::string& bytes);
  uint64_t Room() const;
  bool NeedsGuard(const std::string& bytes) const;
  EncodedRecord Reencode(const std::string& header, const std::string& data);

  const PackageSpec& spec_;
  PackageTotals totals_;
  DiskSink& sink_;
  DeflateFunction deflate_;
  int disk_ = 0;
  uint64_t used_ = 0;
  int recordsOnDisk_ = 0;
  std::string head_;                 // first bytes of disk 1, to tell whether it is a PE
  std::vector<int64_t> trailerAt_;   // per disk
};

// The whole package file (recipe.diskSize must be 0) or every disk file.
std::string BuildPackage(const PackageSpec& recipe, const std::vector<PackageFile>& files);
std::vector<std::string> BuildPackageSet(const PackageSpec& recipe, const std::vector<PackageFile>& files);
// The agent copy as extraction writes it: stub, lead records, trailer with AgentCopy 1 and
// zeros at 252..255.
std::string BuildAgentCopy(const std::string& package);
std::string BuildAgentCopy(ByteSource& package);
// The file a set that relaunches from a temporary copy starts with: the first disk's stub and
// lead records and a trailer of its own (no file counts, no more-disks mark, its own
// checksum), with its length at 248..255 so that it still reads after signing. The stub
// copies this file to its temporary folder and extracts from "<name>.001" on.
std::string BuildLauncher(ByteSource& firstDisk);

}  // namespace stub
