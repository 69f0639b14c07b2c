#include "PackageReport.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <map>
#include <new>

#include "Errors.h"
#include "FileIO.h"
#include "LanguageIni.h"
#include "PackageWriter.h"
#include "package/GFileInfo.h"
#include "package/Records.h"
#include "package/Token.h"
#include "package/ZLibOpen.h"
#include "support/Text.h"
#include "support/VSUB.h"

namespace stubpack {

namespace {

const int kMostDisks = 100000;

std::string Hex32(uint32_t v) { return stub::Format("0x%08X", v); }
std::string Grouped(int64_t v) { return stub::GroupThousands(stub::IntText(v)); }

std::string DateText(uint32_t packed) {
  if (!packed) return "0";
  const stub::CivilTime t = stub::UnpackDosDateTime(packed);
  return stub::Format("%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute, t.second);
}

std::string DiskName(const DiskView& d, size_t index) { return "disk " + std::to_string(index + 1) + " (" + d.path + ")"; }

// One disk's record chain, walked as the extractor walks it: at least one record, then on
// while more than 74 bytes are left before the end.
void ReadRecords(stub::ByteSource& source, DiskView& d, const std::string& name, int64_t& counter,
                 std::map<std::string, uint64_t>& files, PackageView& view, int codePage) {
  const int64_t readEnd = d.end < d.physical ? d.end : d.physical;
  int64_t position = d.trailer.DataOffset();
  do {
    stub::RawRecord raw = stub::ReadRawRecord(source, position, readEnd);
    RecordView r;
    r.offset = position;
    r.stated = raw.stated;
    r.compressed = raw.compressed;
    r.size = raw.next - position - 4;
    position = raw.next;
    ++counter;
    if (raw.noMemory) throw std::bad_alloc();
    if (!raw.complete) {
      view.problems.push_back(name + ": the record at " + stub::IntText(r.offset) + " states " +
                              stub::IntText(r.size) + " bytes and runs past the end");
      d.records.push_back(r);
      return;
    }
    if (counter <= d.trailer.LeadRecordCount()) {
      r.lead = true;
      r.contentSize = r.size;
    } else {
      std::string content;
      try {
        if (raw.compressed) stub::DecompressString(raw.bytes, content);
        else content.swap(raw.bytes);
        r.contentSize = static_cast<int64_t>(content.size());
      } catch (const stub::EZLibError& e) {
        view.problems.push_back(name + ": the record at " + stub::IntText(r.offset) + " does not inflate (" +
                                e.what() + ")");
      }
      const stub::FileRecord f = stub::ParseFileRecord(content);
      if (f.valid) {
        r.file = true;
        r.header = f.header;
        r.path = f.path;
        r.date = f.dosDateTime;
        r.main = f.hasMainMark;
        r.mainFile = f.mainFile;
        r.dataSize = static_cast<int64_t>(f.data.size());
        if (!stub::IsSafeRelativePath(f.path))
          view.problems.push_back(name + ": the record at " + stub::IntText(r.offset) + " names \"" + FromCodePage(f.path, codePage) +
                                  "\", which the stub refuses to write");
        files[stub::UpperCase(f.path)] += f.data.size();
      } else if (r.contentSize > 0) {
        view.notes.push_back(name + ": the record at " + stub::IntText(r.offset) +
                             " has no header; the stub skips it");
      }
    }
    d.records.push_back(r);
  } while (d.end - position > int64_t(stub::kTrailerSize));
  if (position != d.end - int64_t(d.trailer.TrailerSize()))
    view.problems.push_back(name + ": the records end at " + stub::IntText(position) + " but the trailer begins at " +
                            stub::IntText(d.end - int64_t(d.trailer.TrailerSize())));
}

}  // namespace

std::string NotAPackage(stub::ByteSource& file, const std::string& path) {
  stub::PackageTrailer trailer;
  trailer.Clear();
  stub::ReadTrailer(file, trailer);
  if (trailer.Signature() == stub::kPackageSignature || stub::StoredLogicalLength(file) > 0) return "";
  const int64_t end = stub::PackageEnd(file);
  uint8_t raw[4];
  if (end >= 4 && file.ReadAt(end - 4, raw, 4) == 4 && stub::ReadU32LE(raw) == stub::kTrailerSize) return "";
  return path + (IsWindowsProgram(file) ? " is a Windows program, not a setup package" : " is not a setup package") +
         ": it carries no package at its end";
}

PackageView ReadPackageView(const std::string& path, int codePage) {
  PackageView view;
  const std::string base = stub::DiskBaseName(path);
  std::map<std::string, uint64_t> files;
  int64_t counter = 0;
  for (int disk = 1; disk <= kMostDisks; ++disk) {
    const std::string diskPath = disk == 1 ? path : stub::DiskFileName(base, disk);
    std::unique_ptr<FileSource> source = FileSource::Open(PathOf(diskPath));
    if (!source) {
      if (disk == 1) throw InputError("cannot read " + path);
      view.problems.push_back("disk " + std::to_string(disk) + " (" + diskPath + ") is missing");
      break;
    }
    if (disk == 1) {
      const std::string reason = NotAPackage(*source, path);
      if (!reason.empty()) throw InputError(reason);
    }
    DiskView d;
    d.path = diskPath;
    const std::string name = DiskName(d, view.disks.size());
    d.physical = source->Size();
    d.isPE = stub::IsPEFile(*source);
    d.logical = stub::StoredLogicalLength(*source);
    d.end = stub::PackageEnd(*source);
    d.trailer.Clear();
    stub::ReadTrailer(*source, d.trailer);
    d.checksum = stub::PackageChecksum(*source, d.trailer.TrailerSize());
    d.checksumOk = d.checksum == d.trailer.Checksum() || d.checksum == stub::kChecksumExempt ||
                   d.trailer.Checksum() == stub::kChecksumExempt;
    if (d.isPE) d.certificate = FindCertificateTable(*source);
    if (disk == 1) {
      stub::TGFileInfo info(*source);
      view.language = info.LanguageBlock();
      view.settings = info.SettingsRecord();
      view.download = info.DownloadRecord();
    }
    if (d.end > d.physical)
      view.problems.push_back(name + ": the logical length " + stub::IntText(d.end) + " lies past the end of the file");
    if (!d.checksumOk)
      view.problems.push_back(name + ": checksum " + Hex32(d.trailer.Checksum()) + " stored, " + Hex32(d.checksum) +
                              " computed; the stub stops here");
    if (d.trailer.Signature() != stub::kPackageSignature) {
      view.problems.push_back(name + ": no package signature; the stub skips this file");
    } else {
      if (d.trailer.TrailerSize() != stub::kTrailerSize)
        view.notes.push_back(name + ": the trailer is " + stub::IntText(d.trailer.TrailerSize()) + " bytes, not 74");
      ReadRecords(*source, d, name, counter, files, view, codePage);
    }
    view.disks.push_back(d);
    if (!d.trailer.MoreDisks()) break;
  }

  view.distinctFiles = files.size();
  for (const auto& f : files) {
    view.dataSize += f.second;
    for (int i = 0; i < 8; ++i) {
      const uint64_t c = uint64_t(512) << i;
      view.clusters[i] += (f.second + c - 1) / c * c;
    }
  }
  const stub::PackageTrailer& t = view.disks.front().trailer;
  if (t.Signature() == stub::kPackageSignature) {
    const uint64_t steps = view.distinctFiles + view.disks.size() - 1;
    if (t.FilesCount() != steps)
      view.notes.push_back("FilesCount is " + stub::IntText(t.FilesCount()) + "; the extractor takes " +
                           stub::IntText(int64_t(steps)) + " steps (files and disk changes)");
    if (t.DataSize() != view.dataSize)
      view.notes.push_back("DataSize is " + stub::IntText(t.DataSize()) + "; the files hold " +
                           stub::IntText(int64_t(view.dataSize)));
    for (int i = 0; i < 8; ++i)
      if (t.ClusterDataSize(i) != view.clusters[i])
        view.notes.push_back("ClusterDataSize[" + std::to_string(i) + "] is " + stub::IntText(t.ClusterDataSize(i)) +
                             "; the files take " + stub::IntText(int64_t(view.clusters[i])));
  }
  return view;
}

// ---------------------------------------------------------------------------------------
// Output

namespace {

struct Field {
  const char* name;
  int index;
};
const Field kSettingsFields[] = {{"update_url", 0}, {"info_file", 1}, {"agent_file", 2}, {"token", 3}, {"hide", 4}};
const Field kDownloadFields[] = {{"url", 0}, {"file", 1}, {"no_local_copy", 2}, {"token", 3}, {"size", 4}};
const char* kFlagNames[] = {"AnnounceTempExtraction", "MoreDisks", "RunFromTempCopy", "ShowActivityBar", "LogFlag"};

std::string FlagText(uint8_t flags) {
  std::string text;
  for (int i = 0; i < 5; ++i)
    if (flags & (1 << i)) text += std::string(text.empty() ? "" : " ") + kFlagNames[i];
  if (flags & 0xE0) text += stub::Format("%sunknown bits 0x%02X", text.empty() ? "" : " ", flags & 0xE0);
  return text.empty() ? "none" : text;
}

std::string TokenText(const std::string& scrambled, bool& valid) {
  std::string clear;
  valid = stub::TryDescrambleToken(scrambled, clear);
  return clear;
}

const char* RecordKind(const RecordView& r) {
  if (r.lead) return "lead";
  if (r.file) return r.compressed ? "zlib" : "stored";
  return r.compressed ? "zlib-empty" : "empty";
}

// A language section's texts are in the code page of its Charset.
int SectionCodePage(const std::string& section, int fallback) {
  const std::string charset = stub::SubValue(section, "Charset", "", "");
  return charset.empty() ? fallback : CodePageOfCharset(static_cast<int>(stub::ToInt64(charset, 0)));
}

std::string MainFileOf(const PackageView& view) {
  std::string main;
  for (const DiskView& d : view.disks)
    for (const RecordView& r : d.records)
      if (r.main) main = r.mainFile;
  return main;
}

}  // namespace

void PrintView(const PackageView& view, int codePage) {
  auto u = [codePage](const std::string& s) { return FromCodePage(s, codePage); };
  for (size_t i = 0; i < view.disks.size(); ++i) {
    const DiskView& d = view.disks[i];
    const stub::PackageTrailer& t = d.trailer;
    std::printf("%s%s\n", view.disks.size() > 1 ? ("disk " + std::to_string(i + 1) + ": ").c_str() : "", d.path.c_str());
    std::printf("  length          %s physical, %s logical%s, package ends at %s\n", Grouped(d.physical).c_str(),
                Grouped(d.logical).c_str(), d.isPE ? "" : " (not a PE file)", Grouped(d.end).c_str());
    if (d.physical > d.end) {
      std::printf("  after the end   %s bytes", Grouped(d.physical - d.end).c_str());
      if (d.certificate.present)
        std::printf(" (certificate table at %s, %s bytes)", Grouped(d.certificate.offset).c_str(),
                    Grouped(d.certificate.size).c_str());
      std::printf("\n");
    }
    std::printf("  trailer         version %d, lead records %d, data offset %s, files count %u, trailer size %u\n",
                t.Version(), t.LeadRecordCount(), Grouped(t.DataOffset()).c_str(), t.FilesCount(), t.TrailerSize());
    std::printf("  signature       %s%s\n", Hex32(t.Signature()).c_str(),
                t.Signature() == stub::kPackageSignature ? "" : " (wrong)");
    std::printf("  data size       %s; in clusters of", Grouped(t.DataSize()).c_str());
    for (int c = 0; c < 8; ++c) std::printf(" %d: %s", 512 << c, Grouped(t.ClusterDataSize(c)).c_str());
    std::printf("\n  flags           %s\n", FlagText(t.Flags()).c_str());
    std::printf("  bytes 66..69    internet %d, ask before download %d, make agent copy %d, agent copy %d\n",
                t.bytes[66], t.bytes[67], t.bytes[68], t.bytes[69]);
    std::printf("  checksum        %s stored, %s computed: %s\n", Hex32(t.Checksum()).c_str(), Hex32(d.checksum).c_str(),
                !d.checksumOk ? "MISMATCH"
                : (d.checksum == stub::kChecksumExempt || t.Checksum() == stub::kChecksumExempt) ? "not checked (exempt)"
                                                                                              : "ok");
    if (i == 0) {
      std::printf("  languages\n");
      for (int s = 0; s < stub::SubCount(view.language); ++s) {
        const std::string section = stub::SubGet(view.language, s);
        const int page = SectionCodePage(section, codePage);
        std::printf("    [%s]\n", FromCodePage(stub::SubGet(section, 0), page).c_str());
        for (int e = 1; e < stub::SubCount(section); ++e)
          std::printf("      %s\n", FromCodePage(stub::SubGet(section, e), page).c_str());
      }
      std::printf("  settings        %s\n", u(view.settings).c_str());
      for (const Field& f : kSettingsFields) {
        const std::string value = stub::SubGet(view.settings, f.index);
        std::printf("    %-14s%s", f.name, u(value).c_str());
        bool valid;
        const std::string clear = TokenText(value, valid);
        if (f.index == 3 && !value.empty())
          std::printf("  = \"%s\"%s", u(clear).c_str(), valid ? "" : " (not a valid token)");
        std::printf("\n");
      }
      if (t.LeadRecordCount() > 2) {
        std::printf("  download        %s\n", u(view.download).c_str());
        for (const Field& f : kDownloadFields) {
          const std::string value = stub::SubGet(view.download, f.index);
          std::printf("    %-14s%s", f.name, u(value).c_str());
          bool valid;
          const std::string clear = TokenText(value, valid);
          if (f.index == 3 && !value.empty())
            std::printf("  = \"%s\"%s", u(clear).c_str(), valid ? "" : " (not a valid token)");
          std::printf("\n");
        }
      }
    }
    std::printf("  records         %d\n", static_cast<int>(d.records.size()));
    // For a file record, "content" is what it adds to its file, without the header.
    std::printf("    %12s  %-6s %12s %12s  %-19s  %s\n", "offset", "kind", "stored", "content", "date", "path");
    for (const RecordView& r : d.records) {
      std::printf("    %12s  %-6s %12s %12s  %-19s  %s%s\n", Grouped(r.offset).c_str(), RecordKind(r),
                  Grouped(r.size).c_str(),
                  r.file ? Grouped(r.dataSize).c_str() : r.contentSize < 0 ? "?" : Grouped(r.contentSize).c_str(),
                  r.file ? DateText(r.date).c_str() : "", u(r.path).c_str(),
                  r.main ? ("   [program to launch: " + u(r.mainFile) + "]").c_str() : "");
    }
  }
  std::printf("package           %s files, %s bytes, %d disk file%s",
              Grouped(int64_t(view.distinctFiles)).c_str(), Grouped(int64_t(view.dataSize)).c_str(), static_cast<int>(view.disks.size()),
              view.disks.size() == 1 ? "" : "s");
  const std::string main = MainFileOf(view);
  std::printf(", program to launch: %s\n", main.empty() ? "none" : u(main).c_str());
  for (const std::string& n : view.notes) std::printf("note: %s\n", n.c_str());
  for (const std::string& p : view.problems) std::printf("PROBLEM: %s\n", p.c_str());
  if (view.problems.empty()) std::printf("layout ok\n");
}

void PrintViewJson(const PackageView& view, int codePage) {
  using Json = nlohmann::ordered_json;
  auto u = [codePage](const std::string& s) { return FromCodePage(s, codePage); };
  Json out;
  Json disks = Json::array();
  for (const DiskView& d : view.disks) {
    const stub::PackageTrailer& t = d.trailer;
    Json disk;
    disk["path"] = d.path;
    disk["physical_length"] = d.physical;
    disk["logical_length"] = d.logical;
    disk["end"] = d.end;
    disk["is_pe"] = d.isPE;
    disk["bytes_after_end"] = d.physical > d.end ? d.physical - d.end : 0;
    disk["certificate_table"] = d.certificate.present
                                    ? Json{{"offset", d.certificate.offset}, {"size", d.certificate.size}}
                                    : Json(nullptr);
    Json trailer;
    trailer["version"] = t.Version();
    trailer["lead_record_count"] = t.LeadRecordCount();
    trailer["data_offset"] = t.DataOffset();
    trailer["files_count"] = t.FilesCount();
    trailer["signature"] = t.Signature();
    trailer["checksum"] = t.Checksum();
    trailer["data_size"] = t.DataSize();
    Json clusters = Json::array();
    for (int c = 0; c < 8; ++c) clusters.push_back(t.ClusterDataSize(c));
    trailer["cluster_data_size"] = clusters;
    trailer["flags"] = t.Flags();
    trailer["announce_temp_extraction"] = t.AnnounceTempExtraction();
    trailer["more_disks"] = t.MoreDisks();
    trailer["run_from_temp_copy"] = t.RunFromTempCopy();
    trailer["show_activity_bar"] = t.ShowActivityBar();
    trailer["log"] = t.LogFlag();
    trailer["internet_package"] = t.InternetPackage();
    trailer["ask_before_download"] = t.AskBeforeDownload();
    trailer["make_agent_copy"] = t.MakeAgentCopy();
    trailer["agent_copy"] = t.AgentCopy();
    trailer["trailer_size"] = t.TrailerSize();
    disk["trailer"] = trailer;
    disk["checksum_computed"] = d.checksum;
    disk["checksum_ok"] = d.checksumOk;
    Json records = Json::array();
    for (const RecordView& r : d.records) {
      Json record;
      record["offset"] = r.offset;
      record["kind"] = RecordKind(r);
      record["compressed"] = r.compressed;
      record["stored_size"] = r.size;
      record["content_size"] = r.contentSize;
      if (r.file) {
        record["path"] = u(r.path);
        record["date"] = r.date;
        record["date_text"] = DateText(r.date);
        record["data_size"] = r.dataSize;
        record["main"] = r.main;
        if (r.main) record["main_file"] = u(r.mainFile);
      }
      records.push_back(record);
    }
    disk["records"] = records;
    disks.push_back(disk);
  }
  out["disks"] = disks;

  Json languages = Json::array();
  for (int s = 0; s < stub::SubCount(view.language); ++s) {
    const std::string section = stub::SubGet(view.language, s);
    const int page = SectionCodePage(section, codePage);
    Json entries = Json::array();
    for (int e = 1; e < stub::SubCount(section); ++e) entries.push_back(FromCodePage(stub::SubGet(section, e), page));
    languages.push_back(Json{{"name", FromCodePage(stub::SubGet(section, 0), page)}, {"entries", entries}});
  }
  out["languages"] = languages;
  auto fields = [&](const std::string& record, const Field* list) {
    Json j;
    for (int i = 0; i < 5; ++i) {
      const std::string value = stub::SubGet(record, list[i].index);
      j[list[i].name] = u(value);
      if (list[i].index == 3) {
        bool valid;
        const std::string clear = TokenText(value, valid);
        j["token_clear"] = valid ? Json(u(clear)) : Json(nullptr);
      }
    }
    return j;
  };
  out["settings"] = fields(view.settings, kSettingsFields);
  out["download"] = view.disks.front().trailer.LeadRecordCount() > 2 ? fields(view.download, kDownloadFields)
                                                                      : Json(nullptr);
  out["files"] = view.distinctFiles;
  out["data_size"] = view.dataSize;
  const std::string main = MainFileOf(view);
  out["main_file"] = main.empty() ? Json(nullptr) : Json(u(main));
  Json notes = Json::array(), problems = Json::array();
  for (const std::string& n : view.notes) notes.push_back(n);
  for (const std::string& p : view.problems) problems.push_back(p);
  out["notes"] = notes;
  out["problems"] = problems;
  std::printf("%s\n", out.dump(2, ' ', false, Json::error_handler_t::replace).c_str());
}

}  // namespace stubpack
