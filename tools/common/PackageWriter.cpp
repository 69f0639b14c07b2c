#include "PackageWriter.h"

#include <zlib.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "package/ByteSource.h"
#include "package/PackageLayout.h"
#include "package/Records.h"
#include "package/Token.h"
#include "support/VSUB.h"

namespace stub {

// ---------------------------------------------------------------------------------------
// Records and lead records

static std::string LengthField(int64_t stated) {
  uint8_t length[4];
  WriteU32LE(length, static_cast<uint32_t>(static_cast<int32_t>(stated)));
  return std::string(reinterpret_cast<const char*>(length), 4);
}

static std::string PlainRecord(const std::string& bytes) {
  if (bytes.size() > INT32_MAX) throw PackageError("record larger than 2 GiB");
  return LengthField(static_cast<int64_t>(bytes.size())) + bytes;
}

DeflaterFactory ZlibDeflater(int level) {
  return [level]() -> DeflateFunction {
    // One stream per thread, reset for every record: deflateInit's allocations would
    // otherwise dominate for thousands of small files.
    std::shared_ptr<z_stream> stream(new z_stream(), [](z_stream* s) {
      deflateEnd(s);
      delete s;
    });
    if (deflateInit(stream.get(), level) != Z_OK) throw PackageError("zlib initialisation failed");
    return [stream](const std::string& content) {
      z_stream* s = stream.get();
      deflateReset(s);
      std::string out(deflateBound(s, static_cast<uLong>(content.size())), '\0');
      s->next_in = reinterpret_cast<Bytef*>(const_cast<char*>(content.data()));
      s->avail_in = static_cast<uInt>(content.size());
      s->next_out = reinterpret_cast<Bytef*>(&out[0]);
      s->avail_out = static_cast<uInt>(out.size());
      if (deflate(s, Z_FINISH) != Z_STREAM_END) throw PackageError("zlib compression failed");
      out.resize(s->total_out);
      return out;
    };
  };
}

std::string RecordHeader(const std::string& path, bool main, const std::string& mainArgs, uint32_t dosDateTime) {
  std::string first = path;
  if (main) first += "*" + mainArgs;
  std::string list = SubSet("", 0, first);
  return SubSet(list, 1, IntText(dosDateTime));
}

std::string FileRecordHeader(const PackageFile& file) {
  return RecordHeader(file.path, file.main, file.mainArgs, file.dosDateTime);
}

std::string LanguageSection(const std::string& name, const std::vector<std::string>& entries) {
  std::string section = "\x01" + name + "\x01";
  for (const std::string& e : entries) section += e + "\x01";
  return section;
}

std::string LanguageBlockOf(const std::vector<std::string>& sections) {
  std::string block = "\x02";
  for (const std::string& s : sections) block += s + "\x02";
  return block;
}

uint32_t DistinctFileCount(const std::vector<PackageFile>& files) {
  std::set<std::string> paths;
  for (const PackageFile& f : files) paths.insert(UpperCase(f.path));
  return static_cast<uint32_t>(paths.size());
}

static std::string FieldList(const std::string* fields, int count) {
  std::string list;
  for (int i = 0; i < count; ++i) list = SubSet(list, i, fields[i]);
  return list;
}

std::string SettingsRecordOf(const std::string& updateUrl, const std::string& infoFile, const std::string& agentFile,
                             const std::string& scrambledToken, bool hide) {
  const std::string fields[5] = {updateUrl, infoFile, agentFile, scrambledToken, hide ? "1" : ""};
  return FieldList(fields, 5);
}

std::string DownloadRecordOf(const std::string& url, const std::string& fileName, bool noLocalCopy,
                             const std::string& scrambledToken, const std::string& sizeText) {
  const std::string fields[5] = {url, fileName, noLocalCopy ? "1" : "", scrambledToken, sizeText};
  return FieldList(fields, 5);
}

std::string StableScrambledToken(const std::string& clear) {
  uint32_t hash = 2166136261u;  // FNV-1a
  for (unsigned char c : clear) hash = (hash ^ c) * 16777619u;
  return ScrambleToken(clear, hash);
}

uint32_t PackDosDateTime(const CivilTime& t) {
  if (t.year < 1980) return (1u << 5 | 1u) << 16;  // 1980-01-01 00:00:00
  if (t.year > 2107) return (127u << 9 | 12u << 5 | 31u) << 16 | (23u << 11 | 59u << 5 | 29u);
  const uint32_t date = uint32_t(t.year - 1980) << 9 | uint32_t(t.month) << 5 | uint32_t(t.day);
  const uint32_t time = uint32_t(t.hour) << 11 | uint32_t(t.minute) << 5 | uint32_t(t.second / 2);
  return date << 16 | time;
}

CivilTime UnpackDosDateTime(uint32_t packed) {
  CivilTime t;
  const uint32_t date = packed >> 16, time = packed & 0xFFFF;
  t.year = 1980 + int(date >> 9);
  t.month = int(date >> 5 & 15);
  t.day = int(date & 31);
  t.hour = int(time >> 11);
  t.minute = int(time >> 5 & 63);
  t.second = int(time & 31) * 2;
  return t;
}

void PackageTotals::AddFile(uint64_t size) {
  dataSize += size;
  for (int i = 0; i < 8; ++i) {
    const uint64_t cluster = uint64_t(512) << i;
    clusters[i] += (size + cluster - 1) / cluster * cluster;
  }
}

// Deflating random or already compressed data costs as much time as text and gains nothing.
// Three samples of a large piece tell: when none of them shrinks by 1 %, the piece is stored.
static bool LooksIncompressible(const std::string& data, const DeflateFunction& deflate) {
  const size_t sample = 16384;
  if (data.size() < 16 * sample) return false;
  for (size_t at : {size_t(0), data.size() / 2, data.size() - sample}) {
    if (deflate(data.substr(at, sample)).size() * 100 < sample * 99) return false;
  }
  return true;
}

EncodedRecord EncodeRecord(const std::string& header, const std::string& data, int level,
                           const DeflateFunction& deflate, bool storeIncompressible) {
  EncodedRecord record;
  record.header = header;
  record.dataLength = data.size();
  std::string content;
  content.reserve(header.size() + 1 + data.size());
  content += header;
  content += '\0';
  content += data;
  if (content.size() > INT32_MAX) throw PackageError("record larger than 2 GiB");
  if (level > 0 && storeIncompressible && LooksIncompressible(data, deflate)) level = 0;
  if (level > 0) {
    std::string packed = deflate(content);
    if (!storeIncompressible || packed.size() < content.size()) {
      record.bytes = LengthField(static_cast<int64_t>(packed.size())) + packed;
      return record;
    }
  }
  // Stored: the length is negated.
  record.bytes = LengthField(-static_cast<int64_t>(content.size())) + content;
  return record;
}

std::vector<RecordJob> PlanRecords(const std::vector<std::string>& headers, const std::vector<uint64_t>& sizes,
                                   uint64_t bound) {
  std::vector<RecordJob> jobs;
  for (size_t i = 0; i < headers.size(); ++i) {
    uint64_t offset = 0;
    do {
      RecordJob job;
      job.file = i;
      job.header = headers[i];
      job.offset = offset;
      job.length = bound ? std::min(bound, sizes[i] - offset) : sizes[i];
      offset += job.length;
      jobs.push_back(job);
    } while (offset < sizes[i]);
  }
  return jobs;
}

static DeflateFunction MakeDeflater(const PackageSpec& recipe) {
  if (recipe.level <= 0) return [](const std::string&) { return std::string(); };
  return recipe.deflater ? recipe.deflater() : ZlibDeflater(recipe.level)();
}

void EncodeRecords(const std::vector<RecordJob>& jobs, const ReadPiece& read, const PackageSpec& recipe,
                   bool keepData, const std::function<void(EncodedRecord&&)>& consume) {
  auto encode = [&](const RecordJob& job, const DeflateFunction& deflate) {
    std::string data = read(job);
    EncodedRecord r = EncodeRecord(job.header, data, recipe.level, deflate, recipe.storeIncompressible);
    if (keepData) r.data = std::move(data);
    return r;
  };
  const int threads = std::max(1, std::min<int>(recipe.threads, static_cast<int>(jobs.size())));
  if (threads <= 1) {
    DeflateFunction deflate = MakeDeflater(recipe);
    for (const RecordJob& job : jobs) consume(encode(job, deflate));
    return;
  }

  // Workers take jobs in order but no further than `window` ahead of the consumer, so memory
  // stays at a few records per thread whatever the size of the input.
  const size_t window = static_cast<size_t>(threads) * 2 + 2;
  std::mutex mutex;
  std::condition_variable changed;
  size_t nextJob = 0, nextConsumed = 0;
  std::map<size_t, EncodedRecord> done;
  std::exception_ptr failure;
  bool stop = false;

  auto worker = [&]() {
    DeflateFunction deflate;
    try {
      deflate = MakeDeflater(recipe);
    } catch (...) {
      std::lock_guard<std::mutex> lock(mutex);
      if (!failure) failure = std::current_exception();
      stop = true;
      changed.notify_all();
      return;
    }
    for (;;) {
      size_t index;
      {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return stop || nextJob >= jobs.size() || nextJob < nextConsumed + window; });
        if (stop || nextJob >= jobs.size()) return;
        index = nextJob++;
      }
      try {
        EncodedRecord r = encode(jobs[index], deflate);
        std::lock_guard<std::mutex> lock(mutex);
        done.emplace(index, std::move(r));
      } catch (...) {
        std::lock_guard<std::mutex> lock(mutex);
        if (!failure) failure = std::current_exception();
        stop = true;
      }
      changed.notify_all();
    }
  };
  std::vector<std::thread> pool;
  for (int i = 0; i < threads; ++i) pool.emplace_back(worker);

  for (size_t i = 0; i < jobs.size(); ++i) {
    EncodedRecord r;
    {
      std::unique_lock<std::mutex> lock(mutex);
      changed.wait(lock, [&] { return failure || done.count(i); });
      if (failure) break;
      r = std::move(done[i]);
      done.erase(i);
      nextConsumed = i + 1;
    }
    changed.notify_all();
    try {
      consume(std::move(r));
    } catch (...) {
      std::lock_guard<std::mutex> lock(mutex);
      if (!failure) failure = std::current_exception();
      stop = true;
      changed.notify_all();
      break;
    }
  }
  {
    std::lock_guard<std::mutex> lock(mutex);
    stop = true;
  }
  changed.notify_all();
  for (std::thread& t : pool) t.join();
  if (failure) std::rethrow_exception(failure);
}

// ---------------------------------------------------------------------------------------
// Disks

void MemoryDisks::Open(int disk) {
  if (static_cast<int>(disks.size()) < disk) disks.resize(static_cast<size_t>(disk));
}

void MemoryDisks::Write(const char* data, size_t size) { disks.back().append(data, size); }

void MemoryDisks::Patch(int disk, int64_t offset, const void* data, size_t size) {
  std::memcpy(&disks[static_cast<size_t>(disk - 1)][static_cast<size_t>(offset)], data, size);
}

uint32_t MemoryDisks::Checksum(int disk) {
  MemorySource source(disks[static_cast<size_t>(disk - 1)]);
  return PackageChecksum(source, kTrailerSize);
}

PackageAssembler::PackageAssembler(const PackageSpec& recipe, const PackageTotals& totals, DiskSink& sink)
    : spec_(recipe), totals_(totals), sink_(sink), deflate_(MakeDeflater(recipe)) {
  if (totals.dataSize > UINT32_MAX)
    throw PackageError("the files hold " + IntText(int64_t(totals.dataSize)) +
                       " bytes; a package holds at most 4294967295 bytes of files");
  for (int i = 0; i < 8; ++i)
    if (totals.clusters[i] > UINT32_MAX)
      throw PackageError("the files take " + IntText(int64_t(totals.clusters[i])) + " bytes on a drive with " +
                         IntText(512 << i) + "-byte clusters; the package can state at most 4294967295");
  if (totals.files > UINT32_MAX) throw PackageError("too many files for one package");
  const std::pair<const char*, const std::string*> leadRecords[] = {
      {"language block", &recipe.languageBlock},
      {"settings record", &recipe.settingsRecord},
      {"download record", &recipe.downloadRecord}};
  for (const auto& record : leadRecords)
    if (record.second->size() > kLeadRecordLimit)
      throw PackageError(std::string("the ") + record.first + " holds " + IntText(int64_t(record.second->size())) +
                         " bytes; the stub reads at most " + IntText(int64_t(kLeadRecordLimit)) +
                         " bytes of a lead record");
  OpenDisk();
  std::string lead = PlainRecord(recipe.languageBlock) + PlainRecord(recipe.settingsRecord);
  if (recipe.hasDownloadRecord) lead += PlainRecord(recipe.downloadRecord);
  if (recipe.stub.size() > UINT32_MAX) throw PackageError("the stub is larger than 4 GiB");
  Put(recipe.stub);
  Put(lead);
  if (recipe.diskSize && used_ + kTrailerSize > recipe.diskSize)
    throw PackageError("disk size " + IntText(int64_t(recipe.diskSize)) + " is too small: the first disk needs " +
                       IntText(int64_t(used_ + kTrailerSize)) + " bytes for the stub (" +
                       IntText(int64_t(recipe.stub.size())) + "), the lead records (" + IntText(int64_t(lead.size())) +
                       ") and the trailer (74) before any file");
  recordsOnDisk_ = recipe.hasDownloadRecord ? 3 : 2;
}

void PackageAssembler::OpenDisk() {
  ++disk_;
  used_ = 0;
  recordsOnDisk_ = 0;
  sink_.Open(disk_);
}

void PackageAssembler::Put(const std::string& bytes) {
  sink_.Write(bytes.data(), bytes.size());
  if (disk_ == 1 && head_.size() < 512) head_ += bytes.substr(0, 512 - head_.size());
  used_ += bytes.size();
}

uint64_t PackageAssembler::Room() const {
  if (!spec_.diskSize) return UINT64_MAX;
  const uint64_t taken = used_ + kTrailerSize;
  return taken < spec_.diskSize ? spec_.diskSize - taken : 0;
}

// A later disk has no stub, so its first bytes are a record length. Should they read "MZ",
// the extractor could take the disk for a program and look for a logical length in it; an
// empty record (length 0, skipped by the extractor) in front prevents that.
bool PackageAssembler::NeedsGuard(const std::string& bytes) const {
  return disk_ > 1 && used_ == 0 && bytes.size() >= 2 && bytes[0] == 'M' && bytes[1] == 'Z';
}

EncodedRecord PackageAssembler::Reencode(const std::string& header, const std::string& data) {
  EncodedRecord r = EncodeRecord(header, data, spec_.level, deflate_, spec_.storeIncompressible);
  r.data = data;
  return r;
}

void PackageAssembler::Add(EncodedRecord record) {
  for (;;) {
    const uint64_t room = Room();
    const uint64_t guard = NeedsGuard(record.bytes) ? 4 : 0;
    if (record.bytes.size() + guard <= room) {
      if (guard) Put(std::string(4, '\0'));
      Put(record.bytes);
      ++recordsOnDisk_;
      return;
    }
    // The record does not fit: fill the rest of this disk with as long a prefix of its data
    // as fits, and carry the rest to the next disk.
    bool placed = false;
    if (record.data.size() == record.dataLength && record.dataLength > 1) {
      auto fits = [&](const EncodedRecord& r) {
        return r.bytes.size() + (NeedsGuard(r.bytes) ? 4 : 0) <= room;
      };
      const std::string& data = record.data;
      EncodedRecord best;
      size_t low = 0, high = data.size();  // a prefix of `low` bytes fits (0 trivially), `high` does not
      EncodedRecord first = Reencode(record.header, data.substr(0, 1));
      if (fits(first)) {
        low = 1;
        best = std::move(first);
        // Start from the share of the data that the room would hold at this record's ratio,
        // then halve the interval until it is within 1/256 of the record (a few KiB).
        size_t guess = static_cast<size_t>(double(data.size()) * double(room) / double(record.bytes.size()));
        const size_t tolerance = std::max<size_t>(1, data.size() / 256);
        for (int probes = 0; high - low > tolerance && probes < 24; ++probes) {
          size_t p = (guess > low && guess < high) ? guess : low + (high - low) / 2;
          guess = 0;
          EncodedRecord r = Reencode(record.header, data.substr(0, p));
          if (fits(r)) {
            low = p;
            best = std::move(r);
          } else {
            high = p;
          }
        }
        if (NeedsGuard(best.bytes)) Put(std::string(4, '\0'));
        Put(best.bytes);
        ++recordsOnDisk_;
        placed = true;
        record = Reencode(record.header, data.substr(low));
      }
    }
    if (!placed && recordsOnDisk_ == 0)
      throw PackageError("disk size " + IntText(int64_t(spec_.diskSize)) +
                         " is too small: a disk cannot hold even one record of " + SubGet(record.header, 0) +
                         " (" + IntText(int64_t(record.bytes.size() + kTrailerSize)) + " bytes with the trailer)");
    CloseDisk(true);
    OpenDisk();
  }
}

void PackageAssembler::CloseDisk(bool more) {
  PackageTrailer trailer;
  trailer.bytes[0] = 1;
  trailer.bytes[1] = spec_.hasDownloadRecord ? 3 : 2;
  // Disk 1's records follow the stub; later disks begin with their records.
  trailer.SetU32(4, disk_ == 1 ? static_cast<uint32_t>(spec_.stub.size()) : 0);
  trailer.SetU32(8, static_cast<uint32_t>(totals_.files));
  trailer.SetU32(12, kPackageSignature);
  trailer.SetU32(28, static_cast<uint32_t>(totals_.dataSize));
  for (int i = 0; i < 8; ++i) trailer.SetU32(32 + 4 * i, static_cast<uint32_t>(totals_.clusters[i]));
  trailer.bytes[65] = static_cast<uint8_t>(spec_.flags | (more ? kFlagMoreDisks : 0));
  trailer.bytes[66] = spec_.internetPackage;
  trailer.bytes[67] = spec_.askBeforeDownload;
  trailer.bytes[68] = spec_.makeAgentCopy;
  trailer.bytes[69] = spec_.agentCopy;
  trailer.SetU32(70, kTrailerSize);
  const int64_t trailerAt = static_cast<int64_t>(used_);
  Put(std::string(reinterpret_cast<const char*>(trailer.bytes), kTrailerSize));
  sink_.Close(disk_);
  trailerAt_.push_back(trailerAt);

  const bool isPE = disk_ == 1 && head_.size() > 258 && head_[0] == 'M' && head_[1] == 'Z' && head_[256] == 'P' &&
                    head_[257] == 'E';
  if (isPE && spec_.writeLogicalLength) {
    uint8_t logical[8];
    WriteU32LE(logical, static_cast<uint32_t>(used_ >> 32));
    WriteU32LE(logical + 4, static_cast<uint32_t>(used_));
    sink_.Patch(disk_, kLogicalLengthOffset, logical, 8);
  }
  uint8_t sum[4];
  WriteU32LE(sum, sink_.Checksum(disk_));
  sink_.Patch(disk_, trailerAt + 16, sum, 4);
}

int PackageAssembler::Finish() {
  CloseDisk(false);
  // Every disk change advances the extractor's file bar too, so the range counts them.
  const uint64_t count = totals_.files + uint64_t(disk_ - 1);
  if (count > UINT32_MAX) throw PackageError("too many files for one package");
  uint8_t files[4];
  WriteU32LE(files, static_cast<uint32_t>(count));
  for (int d = 1; d <= disk_; ++d) sink_.Patch(d, trailerAt_[static_cast<size_t>(d - 1)] + 8, files, 4);
  return disk_;
}

// ---------------------------------------------------------------------------------------
// In-memory packages

std::vector<std::string> BuildPackageSet(const PackageSpec& recipe, const std::vector<PackageFile>& files) {
  PackageTotals totals;
  totals.files = DistinctFileCount(files);
  std::vector<std::string> headers;
  std::vector<uint64_t> sizes;
  for (const PackageFile& f : files) {
    totals.AddFile(f.data.size());
    headers.push_back(FileRecordHeader(f));
    sizes.push_back(f.data.size());
  }
  MemoryDisks disks;
  PackageAssembler assembler(recipe, totals, disks);
  const std::vector<RecordJob> jobs = PlanRecords(headers, sizes, recipe.recordBound);
  EncodeRecords(
      jobs,
      [&](const RecordJob& job) {
        return files[job.file].data.substr(static_cast<size_t>(job.offset), static_cast<size_t>(job.length));
      },
      recipe, recipe.diskSize > 0, [&](EncodedRecord&& r) { assembler.Add(std::move(r)); });
  assembler.Finish();
  return disks.disks;
}

std::string BuildPackage(const PackageSpec& recipe, const std::vector<PackageFile>& files) {
  return BuildPackageSet(recipe, files).front();
}

std::string BuildAgentCopy(const std::string& package) {
  MemorySource source(package);
  return BuildAgentCopy(source);
}

// The stub program and the lead records at the start of a package's first disk, with the
// trailer read from it.
static std::string StubAndLeadRecords(ByteSource& source, PackageTrailer& trailer) {
  ReadTrailer(source, trailer);
  LeadRecords records = ReadLeadRecords(source, trailer);
  int64_t agentLength = int64_t(trailer.DataOffset()) + 8 + records.language.size() + records.settings.size();
  if (trailer.LeadRecordCount() > 2) agentLength += 4 + records.download.size();
  std::string copy(static_cast<size_t>(std::max<int64_t>(0, std::min(agentLength, source.Size()))), '\0');
  if (!copy.empty()) copy.resize(source.ReadAt(0, &copy[0], copy.size()));
  return copy;
}

std::string BuildAgentCopy(ByteSource& source) {
  PackageTrailer trailer;
  std::string copy = StubAndLeadRecords(source, trailer);
  if (copy.size() >= 256) std::memset(&copy[252], 0, 4);
  trailer.bytes[69] = 1;
  trailer.SetU32(70, kTrailerSize);
  copy.append(reinterpret_cast<const char*>(trailer.bytes), kTrailerSize);
  return copy;
}

std::string BuildLauncher(ByteSource& firstDisk) {
  PackageTrailer trailer;
  std::string launcher = StubAndLeadRecords(firstDisk, trailer);
  // A package without file records of its own: no counts, no more disks.
  trailer.SetU32(8, 0);
  std::memset(&trailer.bytes[28], 0, 36);
  trailer.bytes[65] = static_cast<uint8_t>(trailer.Flags() & ~kFlagMoreDisks);
  trailer.bytes[69] = 0;
  trailer.SetU32(70, kTrailerSize);
  trailer.SetU32(16, 0);
  launcher.append(reinterpret_cast<const char*>(trailer.bytes), kTrailerSize);
  if (launcher.size() < 256 + kTrailerSize) throw PackageError("the first disk holds no stub");
  const uint64_t length = launcher.size();
  WriteU32LE(reinterpret_cast<uint8_t*>(&launcher[248]), static_cast<uint32_t>(length >> 32));
  WriteU32LE(reinterpret_cast<uint8_t*>(&launcher[252]), static_cast<uint32_t>(length));
  MemorySource summed(launcher);
  const uint32_t checksum = PackageChecksum(summed, kTrailerSize);
  WriteU32LE(reinterpret_cast<uint8_t*>(&launcher[launcher.size() - kTrailerSize + 16]), checksum);
  return launcher;
}

}  // namespace stub
