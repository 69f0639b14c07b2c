#include "PackageWriter.h"

#include <zlib.h>

#include <cstring>
#include <set>
#include <stdexcept>

#include "package/ByteSource.h"
#include "package/PackageLayout.h"
#include "support/Text.h"
#include "support/VSUB.h"

namespace stub {

static void AppendRecord(std::string& out, const std::string& bytes, bool stored) {
  uint8_t length[4];
  int64_t n = static_cast<int64_t>(bytes.size());
  if (n > INT32_MAX) throw std::runtime_error("record larger than 2 GiB");
  WriteU32LE(length, static_cast<uint32_t>(stored ? -n : n));
  out.append(reinterpret_cast<const char*>(length), 4);
  out += bytes;
}

static std::string Deflate(const std::string& bytes, int level) {
  uLongf size = compressBound(static_cast<uLong>(bytes.size()));
  std::string out(size, '\0');
  if (compress2(reinterpret_cast<Bytef*>(&out[0]), &size, reinterpret_cast<const Bytef*>(bytes.data()),
                static_cast<uLong>(bytes.size()), level) != Z_OK)
    throw std::runtime_error("zlib compression failed");
  out.resize(size);
  return out;
}

std::string FileRecordHeader(const PackageFile& file) {
  std::string first = file.path;
  if (file.main) first += "*" + file.mainArgs;
  std::string list = SubSet("", 0, first);
  return SubSet(list, 1, IntText(file.dosDateTime));
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

static uint32_t RoundUp(uint64_t size, uint64_t cluster) {
  return static_cast<uint32_t>((size + cluster - 1) / cluster * cluster);
}

std::string BuildPackage(const PackageSpec& spec, const std::vector<PackageFile>& files) {
  std::string out = spec.stub;
  const uint32_t dataOffset = static_cast<uint32_t>(out.size());
  AppendRecord(out, spec.languageBlock, false);
  AppendRecord(out, spec.settingsRecord, false);
  if (spec.hasDownloadRecord) AppendRecord(out, spec.downloadRecord, false);

  uint64_t dataSize = 0;
  uint64_t clusterSizes[8] = {};
  for (const PackageFile& f : files) {
    std::string content = FileRecordHeader(f) + std::string(1, '\0') + f.data;
    if (spec.level > 0) AppendRecord(out, Deflate(content, spec.level), false);
    else AppendRecord(out, content, true);
    dataSize += f.data.size();
    for (int i = 0; i < 8; ++i) clusterSizes[i] += RoundUp(f.data.size(), uint64_t(512) << i);
  }

  PackageTrailer trailer;
  trailer.bytes[0] = 1;
  trailer.bytes[1] = spec.hasDownloadRecord ? 3 : 2;
  trailer.SetU32(4, dataOffset);
  trailer.SetU32(8, DistinctFileCount(files));
  trailer.SetU32(12, kPackageSignature);
  trailer.SetU32(28, static_cast<uint32_t>(dataSize));
  for (int i = 0; i < 8; ++i) trailer.SetU32(32 + 4 * i, static_cast<uint32_t>(clusterSizes[i]));
  trailer.bytes[65] = spec.flags;
  trailer.bytes[66] = spec.internetPackage;
  trailer.bytes[67] = spec.askBeforeDownload;
  trailer.bytes[68] = spec.makeAgentCopy;
  trailer.bytes[69] = spec.agentCopy;
  trailer.SetU32(70, kTrailerSize);
  const size_t trailerAt = out.size();
  out.append(reinterpret_cast<const char*>(trailer.bytes), kTrailerSize);

  const bool isPE = out.size() > 258 && out[0] == 'M' && out[1] == 'Z' && out[256] == 'P' && out[257] == 'E';
  if (isPE && spec.writeLogicalLength) {
    uint64_t logical = out.size();
    WriteU32LE(reinterpret_cast<uint8_t*>(&out[248]), static_cast<uint32_t>(logical >> 32));
    WriteU32LE(reinterpret_cast<uint8_t*>(&out[252]), static_cast<uint32_t>(logical));
  }
  MemorySource source(out);
  WriteU32LE(reinterpret_cast<uint8_t*>(&out[trailerAt + 16]), PackageChecksum(source, kTrailerSize));
  return out;
}

std::string BuildAgentCopy(const std::string& package) {
  MemorySource source(package);
  PackageTrailer trailer;
  ReadTrailer(source, trailer);
  LeadRecords records = ReadLeadRecords(source, trailer);
  int64_t agentLength = int64_t(trailer.DataOffset()) + 8 + records.language.size() + records.settings.size();
  if (trailer.LeadRecordCount() > 2) agentLength += 4 + records.download.size();
  std::string copy = package.substr(0, static_cast<size_t>(agentLength));
  if (copy.size() >= 256) std::memset(&copy[252], 0, 4);
  trailer.bytes[69] = 1;
  trailer.SetU32(70, kTrailerSize);
  copy.append(reinterpret_cast<const char*>(trailer.bytes), kTrailerSize);
  return copy;
}

}  // namespace stub
