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

// The head of one record of the chain: its stated length and how much of it the disk holds.
struct RecordHead {
  int32_t stated = 0;  // L: > 0 zlib stream, <= 0 stored
  int64_t length = 0;  // |L|
  int64_t start = 0;   // of its bytes
  int64_t present = 0; // of them before the end
  bool complete = false;
  int64_t next = 0;
};

RecordHead ReadRecordHead(ByteSource& file, int64_t position, int64_t end) {
  RecordHead head;
  uint8_t raw[4];
  if (position < 0 || position + 4 > end || file.ReadAt(position, raw, 4) != 4) {
    head.next = position + 4;
    return head;
  }
  head.stated = static_cast<int32_t>(ReadU32LE(raw));
  head.length = head.stated < 0 ? -int64_t(head.stated) : int64_t(head.stated);
  head.start = position + 4;
  head.next = head.start + head.length;
  const int64_t available = end - head.start;
  head.present = head.length < available ? head.length : (available > 0 ? available : 0);
  head.complete = head.present == head.length;
  return head;
}

// Reads are split so that the window is served between them.
const size_t kReadChunk = 65536;

// One call of ExtractPackage; its members are the routine's locals. The file writes run on
// the host's writer thread; whatever the user or the log sees waits until the writes queued
// before it are done, so it comes in the order and with the outcome of writing each file
// before reading the next record.
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
  bool ReadStored(ByteSource& file, const RecordHead& head, bool& noMemory);
  bool FileRecordOf(const std::string& diskPath);
  bool WriteAgentCopy(ByteSource& file);
  bool WriteFailed(const std::string& path, size_t dataSize);
  void SaveFailed(const std::string& fullPath, const std::string& details);
  // Takes the results of the finished writes in order (all of them, waiting, when all is
  // set); false once a write failed, which has then been reported.
  bool Reap(bool all);
  bool Settle() { return Reap(true); }
  bool WaitForSlot();
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
  std::unique_ptr<WriteQueue> queue_;
  bool writeFailed_ = false;
  int64_t disk_ = 1;
  int64_t recordCounter_ = 0;
  int64_t agentLength_ = 0;
  bool continue_ = true;
  ExtractOutcome outcome_ = ExtractOutcome::Completed;
  std::string lastFolderMade_;  // the subfolder made for the previous file, to skip repeats
  std::string packed_;          // a compressed record's bytes, reused by every record
};

ExtractOutcome Extraction::Run() {
  const uint32_t start = host_.Tick();
  const std::string base = DiskBaseName(request_.packagePath);
  mainFile_.clear();
  checksumOk_ = false;
  Progress(0, 0);
  queue_.reset(new WriteQueue(host_, request_.writeRingBytes));
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
  // Every way out has settled the writes already; jobs skipped after a failure may be left.
  Settle();
  queue_.reset();
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
    if (!RecordLoop(*file, trailer, position, length, path) || !Settle()) return DiskEnd::Stop;
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
    if (!Reap(false)) return false;
    if (host_.Cancelled()) {
      if (!Settle()) return false;
      Stop(ExtractOutcome::Cancelled, "Extraction cancelled: the window was closed", "");
      return false;
    }
    const RecordHead head = ReadRecordHead(file, position, readEnd);
    const int64_t at = position;
    position = head.next;
    ++recordCounter_;
    const bool fileRecord = recordCounter_ > trailer.LeadRecordCount();
    bool noMemory = false;
    int64_t present = head.present;
    bool complete = head.complete;
    // Lead records are skipped unread; a file record's bytes are read whole before its
    // content counts, so that not a byte of a damaged record is written.
    if (complete && fileRecord && head.length > 0) {
      if (head.stated > 0) {
        if (!TryResize(packed_, static_cast<size_t>(head.length))) {
          noMemory = true;
        } else {
          size_t done = 0;
          while (done < packed_.size()) {
            const size_t chunk = packed_.size() - done < kReadChunk ? packed_.size() - done : kReadChunk;
            const size_t got = file.ReadAt(head.start + int64_t(done), &packed_[done], chunk);
            done += got;
            PumpOnce();
            if (got < chunk) break;
          }
          present = int64_t(done);
          complete = done == packed_.size();
        }
      } else {
        const int64_t before = int64_t(queue_->CurrentSize());
        complete = ReadStored(file, head, noMemory);
        present = int64_t(queue_->CurrentSize()) - before;
      }
    }
    if (noMemory) {
      queue_->DropCurrent();
      if (Settle()) StopNoMemory(path);
      return false;
    }
    if (!complete) {
      queue_->DropCurrent();
      if (!Settle()) return false;
      Stop(ExtractOutcome::DamagedDisk,
           "Damaged disk file: " + path + " record " + IntText(recordCounter_) + " at " + IntText(at) + " states " +
               IntText(head.stated) + " bytes, " + IntText(present) + " present",
           path + "<P><P>Damaged Setup File!<P><P>A record runs past the end of the file.");
      return false;
    }
    if (recordCounter_ == trailer.LeadRecordCount()) agentLength_ = position;
    if (fileRecord) {
      if (head.stated > 0) {
        if (const int code = TryDecompressToSink(packed_.data(), packed_.size(), *queue_, pump_)) {
          queue_->DropCurrent();
          if (!Settle()) return false;
          Stop(ExtractOutcome::DecompressFailed,
               "EZLibError: " + std::string(ZLibMessage(code)) + " in record " + IntText(recordCounter_) + " of " +
                   path,
               path + "<P><P>Unable to decompress Setup Data!<P><P>zlib: " + ZLibMessage(code));
          return false;
        }
      }
      if (!FileRecordOf(path)) return false;
    }
  } while (length - position > int64_t(kTrailerSize));
  return true;
}

// A stored record's bytes into the queue; false when the disk ended first.
bool Extraction::ReadStored(ByteSource& file, const RecordHead& head, bool& noMemory) {
  int64_t done = 0;
  while (done < head.length) {
    size_t room = 0;
    char* at = queue_->Room(room);
    if (!at) {
      noMemory = true;
      return false;
    }
    if (room > kReadChunk) room = kReadChunk;
    if (int64_t(room) > head.length - done) room = static_cast<size_t>(head.length - done);
    const size_t got = file.ReadAt(head.start + done, at, room);
    queue_->Filled(got);
    done += int64_t(got);
    PumpOnce();
    if (got < room) return false;
  }
  return true;
}

// Queues the current record's data as a file, or refuses it; false when the extraction has
// to stop.
bool Extraction::FileRecordOf(const std::string& diskPath) {
  std::string header;
  BytePieces data;
  bool noMemory = false;
  if (!SplitFileRecord(queue_->Current(), header, data, &noMemory)) {
    queue_->DropCurrent();
    if (!noMemory) return true;
    if (Settle()) StopNoMemory(diskPath);
    return false;
  }
  const FileRecord record = ParseFileRecord(header + std::string(1, '\0'));
  const std::string shownPath = request_.destination + "\\" + record.path;
  // A path that could leave the destination folder is never written, and does not name
  // the program to start.
  if (!IsSafeRelativePath(record.path) || request_.destination.empty()) {
    const size_t dataSize = TotalSize(data);
    queue_->DropCurrent();
    if (!Settle()) return false;
    host_.Log("Unsafe path refused: \"" + record.path + "\" in " + diskPath);
    SaveFailed(shownPath, "The path leads out of the destination folder.<P>  Data Size: <T>" +
                              IntText(int64_t(dataSize)) + " Bytes<P>  File Size:  <T>0 Bytes<P>  Bytes Free: <T>" +
                              FixedText(host_.FreeBytes(request_.destination), 0) + " Bytes");
    return true;
  }
  if (record.hasMainMark) mainFile_ = record.mainFile;
  WriteJob job;
  job.path = request_.destination + "\\" + ReplaceChar(record.path, '/', '\\');
  job.dosDateTime = record.dosDateTime;
  // Files in subfolders: their folders are made as the files arrive.
  const std::string folder = StripSlash(FolderPart(job.path));
  if (folder.size() > request_.destination.size() && folder != lastFolderMade_) {
    job.folder = folder;
    lastFolderMade_ = folder;
  }
  if (!WaitForSlot()) {
    queue_->DropCurrent();
    return false;
  }
  queue_->Submit(std::move(job), header.size() + 1);
  return Reap(false);
}

// The file progress counts files, not records: a file continued from the previous record or
// disk, or one that was there before, is no new step.
bool Extraction::Reap(bool all) {
  for (;;) {
    while (const WriteJob* job = queue_->NextDone()) {
      if (job->skipped) {
        queue_->Release();
        continue;
      }
      if (!job->existed) Progress(1, 0);
      if (job->ok) {
        queue_->Release();
        continue;
      }
      const std::string path = job->path;
      const size_t size = job->dataSize;
      const uint32_t error = job->error;
      queue_->Release();
      writeFailed_ = true;
      host_.SetLastErrorCode(error);
      WriteFailed(path, size);
    }
    if (!all || queue_->Idle()) break;
    queue_->Wait(true);
  }
  return !writeFailed_;
}

bool Extraction::WaitForSlot() {
  while (!queue_->SlotFree()) {
    if (!Reap(false)) return false;
    if (!queue_->SlotFree()) queue_->Wait(false);
  }
  return true;
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
  // Whatever is there under that name is replaced by a file of its own.
  FileStamp fresh;
  bool existed = false;
  if (!host_.WriteRecordData(path, pieces, host_.FileDosDate(request_.packagePath), fresh, existed))
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
