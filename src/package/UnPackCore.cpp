#include "package/UnPackCore.h"

#include <cstring>
#include <new>

#include "package/PackageLayout.h"
#include "package/Records.h"
#include "support/Text.h"
#include "ui/MsgBoxMarkup.h"

namespace stub {

// Save failures of the whole process: only the first one is shown to the user.
static int g_saveFailures = 0;

int SaveFailureCount() { return g_saveFailures; }
void ResetSaveFailuresForTesting() { g_saveFailures = 0; }

const char* OutcomeName(ExtractOutcome outcome) {
  switch (outcome) {
    case ExtractOutcome::Completed: return "Completed";
    case ExtractOutcome::MissingPackage: return "MissingPackage";
    case ExtractOutcome::BadChecksum: return "BadChecksum";
    case ExtractOutcome::Cancelled: return "Cancelled";
    case ExtractOutcome::DamagedDisk: return "DamagedDisk";
    case ExtractOutcome::DecompressFailed: return "DecompressFailed";
    case ExtractOutcome::WriteFailed: return "WriteFailed";
    case ExtractOutcome::MissingDisk: return "MissingDisk";
  }
  return "";
}

std::string DiskPromptText(const std::string& prompt, int64_t disk) {
  return ReplaceText(prompt, "<DISK_NUM>", IntText(disk));
}

bool WantsAgentCopy(const std::string& packagePath, const std::string& agentFileName) {
  return !FileNamePart(agentFileName).empty() &&
         (EndsWithText(".exe", packagePath, true) || EndsWithText(".exe.001", packagePath, true));
}

bool SplitFileRecord(const BytePieces& content, std::string& header, BytePieces& data, bool* noMemory) {
  header.clear();
  data.clear();
  if (noMemory) *noMemory = false;
  // The 0x00 is found before anything is copied: content without one is no file record,
  // however large it is.
  size_t length = 0;
  for (size_t i = 0; i < content.size(); ++i) {
    const BytePiece& piece = content[i];
    const char* zero = piece.size ? static_cast<const char*>(std::memchr(piece.data, 0, piece.size)) : nullptr;
    if (!zero) {
      length += piece.size;
      continue;
    }
    const size_t before = static_cast<size_t>(zero - piece.data);
    if (length + before == 0) return false;
    if (!TryResize(header, length + before)) {
      if (noMemory) *noMemory = true;
      return false;
    }
    size_t at = 0;
    for (size_t j = 0; j < i; ++j) {
      std::memcpy(&header[at], content[j].data, content[j].size);
      at += content[j].size;
    }
    std::memcpy(&header[at], piece.data, before);
    if (before + 1 < piece.size) data.push_back(BytePiece{zero + 1, piece.size - before - 1});
    for (size_t j = i + 1; j < content.size(); ++j)
      if (content[j].size) data.push_back(content[j]);
    return true;
  }
  return false;
}

static size_t TotalSize(const BytePieces& pieces) {
  size_t n = 0;
  for (const BytePiece& p : pieces) n += p.size;
  return n;
}

namespace {

// One call of ExtractPackage; its members are the routine's locals.
class Extraction {
 public:
  Extraction(const ExtractRequest& request, ExtractHost& host, bool& checksumOk, std::string& mainFile)
      : request_(request), host_(host), checksumOk_(checksumOk), mainFile_(mainFile), pump_(host.Pump()) {}

  ExtractOutcome Run();

 private:
  enum class DiskEnd { NextDisk, Stop };
  DiskEnd ExtractDisk(const std::string& path);
  bool RecordLoop(ByteSource& file, const PackageTrailer& trailer, int64_t position, int64_t length,
                  const std::string& path);
  bool FileRecordOf(const std::string& diskPath, const BytePieces& content);
  bool WriteAgentCopy(ByteSource& file);
  bool WriteFailed(const std::string& path, size_t dataSize);
  void SaveFailed(const std::string& fullPath, const std::string& details);
  void Progress(int kind, int64_t maximum) {
    if (request_.progress) request_.progress(kind, maximum, std::string(), 1, 0);
  }
  void PumpOnce() {
    if (pump_) pump_();
  }
  void Stop(ExtractOutcome outcome, const std::string& logLine, const std::string& boxText) {
    outcome_ = outcome;
    continue_ = false;
    host_.Log(logLine);
    if (!boxText.empty()) host_.ShowError(boxText);
  }
  // A record whose bytes, or whose header, cannot be held in memory.
  void StopNoMemory(const std::string& path) {
    Stop(ExtractOutcome::DecompressFailed,
         "EZLibError: insufficient memory in record " + IntText(recordCounter_) + " of " + path,
         path + "<P><P>Unable to decompress Setup Data!<P><P>zlib: insufficient memory");
  }

  const ExtractRequest& request_;
  ExtractHost& host_;
  bool& checksumOk_;
  std::string& mainFile_;
  PumpHook pump_;
  int64_t disk_ = 1;
  int64_t recordCounter_ = 0;
  int64_t agentLength_ = 0;
  bool continue_ = true;
  ExtractOutcome outcome_ = ExtractOutcome::Completed;
  std::string lastFolderMade_;   // the subfolder made for the previous file, to skip repeats
  RawRecord record_;             // reused by every record, like inflated_
  InflatedRecord inflated_;      // reused by every compressed record
};

ExtractOutcome Extraction::Run() {
  const uint32_t start = host_.Tick();
  const std::string base = DiskBaseName(request_.packagePath);
  mainFile_.clear();
  checksumOk_ = false;
  Progress(0, 0);
  std::string path = request_.packagePath;
  for (;;) {
    if (ExtractDisk(path) == DiskEnd::Stop) break;
    // Next disk.
    host_.RefuseAutoPlay();
    ++disk_;
    path = DiskFileName(base, disk_);
    const bool present = host_.FileExists(path);
    if (request_.unattended) {
      if (!present) {
        Stop(ExtractOutcome::MissingDisk, "Disk " + IntText(disk_) + " missing: " + path, "");
        break;
      }
    } else if (request_.forcePrompt || !present) {
      host_.EjectCD(path);
      do {
        continue_ = host_.AskForDisk(DiskPromptText(request_.diskPrompt, disk_));
        host_.Wait(500);
      } while (!host_.FileExists(path) && continue_);
    }
    Progress(1, 0);
    if (!continue_) {
      outcome_ = ExtractOutcome::Cancelled;
      host_.Log("Disk " + IntText(disk_) + " prompt cancelled");
      break;
    }
  }
  if (!continue_) mainFile_.clear();
  host_.Log(std::string("Extraction ended: ") + OutcomeName(outcome_));
  host_.Log("UnCompressTime: " + IntText(static_cast<uint32_t>(host_.Tick() - start)) + " MS");
  host_.Log("");
  host_.Wait(500);
  return outcome_;
}

Extraction::DiskEnd Extraction::ExtractDisk(const std::string& path) {
  std::unique_ptr<ByteSource> file = host_.FileExists(path) ? host_.OpenRead(path) : nullptr;
  if (!file) {
    if (disk_ == 1) {
      outcome_ = ExtractOutcome::MissingPackage;
      host_.Log("Package file missing: " + path);
    } else {
      // The prompt saw this file, so it was there a moment ago: without it the files of
      // this disk are lost, and what was extracted must not be started.
      const std::string reason = host_.LastErrorText();
      Stop(ExtractOutcome::MissingDisk, "Disk file cannot be opened: " + path,
           MsgBoxPathText(path) + "<P><P>Unable to open Setup File!<P><P>" + reason);
    }
    return DiskEnd::Stop;
  }
  PackageTrailer trailer;
  trailer.Clear();
  ReadTrailer(*file, trailer);
  const int64_t position = trailer.DataOffset();
  if (disk_ == 1) host_.Log("FileInfo.FilesCount=" + IntText(trailer.FilesCount()));

  const uint32_t sum = PackageChecksum(*file, trailer.TrailerSize());
  checksumOk_ = sum == trailer.Checksum() || sum == kChecksumExempt || trailer.Checksum() == kChecksumExempt;
  if (!checksumOk_) {
    outcome_ = ExtractOutcome::BadChecksum;
    host_.Log("Checksum failed: " + path);
    return DiskEnd::Stop;
  }

  const int64_t length = PackageEnd(*file);
  host_.Log("FileLen=" + IntText(length));
  if (trailer.Signature() == kPackageSignature) {
    if (disk_ == 1) Progress(0, trailer.FilesCount());
    if (!host_.CreateFolder(request_.destination) && request_.destination.empty())
      host_.ShowError(request_.destination + "<P><P>Unable to create Directory!<P><P>" + host_.LastErrorText());
    if (!RecordLoop(*file, trailer, position, length, path)) return DiskEnd::Stop;
    if (disk_ == 1 && WantsAgentCopy(request_.packagePath, request_.agentFileName) && !WriteAgentCopy(*file))
      return DiskEnd::Stop;
  } else {
    host_.Log("Signature mismatch, disk skipped: " + path);
  }
  file.reset();
  return trailer.MoreDisks() ? DiskEnd::NextDisk : DiskEnd::Stop;
}

// Reads the records of one disk; false when the extraction has to stop.
bool Extraction::RecordLoop(ByteSource& file, const PackageTrailer& trailer, int64_t position, int64_t length,
                            const std::string& path) {
  // A logical length beyond the physical end is damage too: never read past what is there.
  const int64_t physical = file.Size();
  const int64_t readEnd = length < physical ? length : physical;
  do {
    PumpOnce();
    if (host_.Cancelled()) {
      Stop(ExtractOutcome::Cancelled, "Extraction cancelled: the window was closed", "");
      return false;
    }
    RawRecord& record = record_;
    ReadRawRecordInto(file, position, readEnd, record, pump_);
    if (record.noMemory) {
      StopNoMemory(path);
      return false;
    }
    const int64_t at = position;
    position = record.next;
    ++recordCounter_;
    if (!record.complete) {
      Stop(ExtractOutcome::DamagedDisk,
           "Damaged disk file: " + path + " record " + IntText(recordCounter_) + " at " + IntText(at) +
               " states " + IntText(record.stated) + " bytes, " + IntText(int64_t(record.bytes.size())) +
               " present",
           path + "<P><P>Damaged Setup File!<P><P>A record runs past the end of the file.");
      return false;
    }
    if (recordCounter_ == trailer.LeadRecordCount()) agentLength_ = position;
    if (recordCounter_ > trailer.LeadRecordCount()) {
      BytePieces content;
      if (record.compressed) {
        if (const int code = TryDecompressInto(record.bytes.data(), record.bytes.size(), inflated_, pump_)) {
          Stop(ExtractOutcome::DecompressFailed,
               "EZLibError: " + std::string(ZLibMessage(code)) + " in record " + IntText(recordCounter_) + " of " +
                   path,
               path + "<P><P>Unable to decompress Setup Data!<P><P>zlib: " + ZLibMessage(code));
          return false;
        }
        for (size_t i = 0; i < inflated_.PieceCount(); ++i) {
          InflatedRecord::Piece piece = inflated_.PieceAt(i);
          content.push_back(BytePiece{piece.data, piece.size});
        }
      } else if (!record.bytes.empty()) {
        content.push_back(BytePiece{record.bytes.data(), record.bytes.size()});
      }
      if (!FileRecordOf(path, content)) return false;
    }
  } while (length - position > int64_t(kTrailerSize));
  return true;
}

// False when the file could not be written, or its header not held, and the extraction has
// to stop.
bool Extraction::FileRecordOf(const std::string& diskPath, const BytePieces& content) {
  std::string header;
  BytePieces data;
  bool noMemory = false;
  if (!SplitFileRecord(content, header, data, &noMemory)) {
    if (noMemory) StopNoMemory(diskPath);
    return !noMemory;
  }
  const FileRecord record = ParseFileRecord(header + std::string(1, '\0'));
  const std::string shownPath = request_.destination + "\\" + record.path;
  // A path that could leave the destination folder is never written, and does not name
  // the program to start.
  if (!IsSafeRelativePath(record.path) || request_.destination.empty()) {
    host_.Log("Unsafe path refused: \"" + record.path + "\" in " + diskPath);
    SaveFailed(shownPath, "The path leads out of the destination folder.<P>  Data Size: <T>" +
                              IntText(int64_t(TotalSize(data))) + " Bytes<P>  File Size:  <T>0 Bytes<P>  Bytes Free: <T>" +
                              FixedText(host_.FreeBytes(request_.destination), 0) + " Bytes");
    return true;
  }
  if (record.hasMainMark) mainFile_ = record.mainFile;
  const std::string fullPath = request_.destination + "\\" + ReplaceChar(record.path, '/', '\\');
  // Files in subfolders: their folders are made as the files arrive.
  const std::string folder = StripSlash(FolderPart(fullPath));
  if (folder.size() > request_.destination.size() && folder != lastFolderMade_) {
    host_.CreateFolder(folder);
    lastFolderMade_ = folder;
  }
  // The file progress counts files, not records: a file continued from the previous record
  // or disk, or one that was there before, is no new step.
  bool existed = true;
  const bool saved = host_.AppendFile(fullPath, data, record.dosDateTime, existed);
  if (!existed) Progress(1, 0);
  if (saved) return true;
  return WriteFailed(fullPath, TotalSize(data));
}

// A file that is not written whole ends the extraction: a setup started without it would
// run incomplete. Always false.
bool Extraction::WriteFailed(const std::string& path, size_t dataSize) {
  const std::string reason = host_.LastErrorText();
  host_.Log("Save failed: " + path + " " + reason);
  SaveFailed(path, reason + "<P>  Data Size: <T>" + IntText(int64_t(dataSize)) + " Bytes<P>  File Size:  <T>" +
                       IntText(host_.FileSize(path)) + " Bytes<P>  Bytes Free: <T>" +
                       FixedText(host_.FreeBytes(path), 0) + " Bytes");
  Stop(ExtractOutcome::WriteFailed, "Extraction stopped: " + path + " could not be written", "");
  return false;
}

void Extraction::SaveFailed(const std::string& fullPath, const std::string& details) {
  if (++g_saveFailures == 1)
    host_.ShowError(MsgBoxPathText(fullPath) + "<P><P>Unable to save Extracted File!<P><P>" + details);
}

// False when the copy could not be written and the extraction has to stop.
bool Extraction::WriteAgentCopy(ByteSource& file) {
  PackageTrailer trailer;
  trailer.Clear();
  ReadTrailer(file, trailer);
  const std::string name = FileNamePart(request_.agentFileName);
  if (!IsSafeRelativePath(name) || request_.destination.empty() || agentLength_ <= 0) {
    host_.Log("Agent copy not written: \"" + name + "\"");
    return true;
  }
  std::string copy(static_cast<size_t>(agentLength_), '\0');
  if (file.ReadAt(0, &copy[0], copy.size()) != copy.size()) {
    host_.Log("Agent copy not written: the package is shorter than its lead records");
    return true;
  }
  // Zeros in the low half of the logical length: the copy's own physical end counts.
  if (copy.size() >= 256) std::memset(&copy[252], 0, 4);
  trailer.bytes[69] = 1;
  trailer.SetU32(70, kTrailerSize);
  copy.append(reinterpret_cast<const char*>(trailer.bytes), kTrailerSize);
  const std::string path = request_.destination + "\\" + name;
  BytePieces pieces{BytePiece{copy.data(), copy.size()}};
  if (!host_.SaveFile(path, pieces, host_.FileDosDate(request_.packagePath), false))
    return WriteFailed(path, copy.size());
  host_.Log(host_.ProcessIdText() + " New AU-Agent: " + path);
  return true;
}

}  // namespace

ExtractOutcome RunExtraction(const ExtractRequest& request, ExtractHost& host, bool& checksumOk,
                             std::string& mainFile) {
  Extraction extraction(request, host, checksumOk, mainFile);
  return extraction.Run();
}

}  // namespace stub
