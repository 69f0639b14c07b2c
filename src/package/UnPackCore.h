// The walk of ExtractPackage: disks, checksums, the record chain, file records, the agent
// copy and the disk prompts, over a host that makes every system call. The Windows layer
// (UnPack.h) is one host; the unit tests use one that keeps files in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "inet/VProgBar.h"
#include "package/ByteSource.h"
#include "package/UnPackQueue.h"
#include "package/ZLibOpen.h"

namespace stub {

// How an extraction ended; each way out has its own value and log line.
enum class ExtractOutcome {
  Completed,         // every disk was read to its end
  MissingPackage,    // the first package file does not exist or cannot be opened
  BadChecksum,       // a disk failed the checksum test
  Cancelled,         // the user cancelled a disk prompt or closed the window behind it
  DamagedDisk,       // a record runs past the end of its disk file
  DecompressFailed,  // a compressed record could not be inflated (EZLibError)
  WriteFailed,       // a file could not be written whole: the setup would run with it missing
  MissingDisk,       // a later disk file is not there and nobody can be asked, or cannot be opened
};
const char* OutcomeName(ExtractOutcome outcome);

class ExtractHost {
 public:
  virtual ~ExtractHost() = default;
  // Files. SaveFile appends to an existing file or creates it (replaces it when append is
  // false), applies a non-zero packed DOS date when every byte was written, and tells
  // whether every byte was written.
  virtual bool FileExists(const std::string& path) = 0;
  virtual std::unique_ptr<ByteSource> OpenRead(const std::string& path) = 0;
  virtual bool CreateFolder(const std::string& path) = 0;  // with every missing parent
  virtual bool SaveFile(const std::string& path, const BytePieces& data, uint32_t dosDateTime, bool append) = 0;
  // The data of a file record (or the agent copy), written where it may run on the writer
  // thread. Appended only to the file stamp names, the one this process wrote at path and left
  // at that size; anything else at path (a file put there before, a link) is removed and a new
  // file made, never written through. existed tells whether anything was at path before;
  // stamp is updated. A host that cannot tell files apart trusts the stamp alone.
  virtual bool WriteRecordData(const std::string& path, const BytePieces& data, uint32_t dosDateTime,
                               FileStamp& stamp, bool& existed) {
    existed = FileExists(path);
    const bool ok = SaveFile(path, data, dosDateTime, stamp.id != 0);
    stamp.id = ok ? 1 : 0;
    return ok;
  }
  // The thread for the writes; none: they are made as they are queued.
  virtual std::unique_ptr<WriterThread> NewWriterThread() { return nullptr; }
  // The system's code of the calling thread's last failure, and setting it, so that a failure
  // on the writer thread is reported with its own text.
  virtual uint32_t LastErrorCode() { return 0; }
  virtual void SetLastErrorCode(uint32_t) {}
  virtual uint32_t FileDosDate(const std::string& path) = 0;
  virtual int64_t FileSize(const std::string& path) = 0;
  virtual double FreeBytes(const std::string& path) = 0;
  virtual std::string LastErrorText() = 0;  // the system's text for the last failure
  // Disks.
  virtual void EjectCD(const std::string& path) = 0;
  virtual void RefuseAutoPlay() = 0;
  // The user: an error box, and the disk prompt (true for OK).
  virtual void ShowError(const std::string& text) = 0;
  virtual bool AskForDisk(const std::string& text) = 0;
  // True once the user has closed the window the extraction runs behind; asked before every
  // record, so the extraction stops at the next one.
  virtual bool Cancelled() { return false; }
  // Time, window messages, log.
  virtual uint32_t Tick() = 0;
  virtual void Wait(unsigned milliseconds) = 0;  // serving window messages meanwhile
  virtual PumpHook Pump() = 0;                    // serves the pending messages once
  virtual void Log(const std::string& line) = 0;
  virtual std::string ProcessIdText() = 0;
};

static const size_t kDefaultWriteRing = size_t(8) << 20;

struct ExtractRequest {
  std::string packagePath;    // the stub's own file, or the first disk file ("...001")
  std::string destination;    // without trailing backslash
  std::string agentFileName;  // only its file-name part is used; empty: no agent copy
  std::string diskPrompt;     // holds "<DISK_NUM>"
  bool forcePrompt = false;   // ask for every following disk even when its file is there
  // Nobody to answer (a hidden setup): a disk that is not there ends the extraction instead
  // of a prompt that would wait for ever.
  bool unattended = false;
  ProgressHandler progress = nullptr;
  // Memory for record data in flight to the writer (rounded up to a power of two); 0: none,
  // every record then takes heap blocks.
  size_t writeRingBytes = kDefaultWriteRing;
};

ExtractOutcome RunExtraction(const ExtractRequest& request, ExtractHost& host, bool& checksumOk,
                             std::string& mainFile);

// The save failures of this process; only the first one is shown.
int SaveFailureCount();
void ResetSaveFailuresForTesting();

// The disk prompt with every "<DISK_NUM>" replaced by the disk number.
std::string DiskPromptText(const std::string& prompt, int64_t disk);
// An agent copy is written for an agent file name with a file-name part, from a package
// whose path ends with ".exe" or ".exe.001" (case ignored).
bool WantsAgentCopy(const std::string& packagePath, const std::string& agentFileName);
// The content of a file record split at its first 0x00: the header before it, the data
// pieces after it. False when there is no 0x00 or the header is empty; also false, with
// *noMemory set, when the header cannot be held in memory.
bool SplitFileRecord(const BytePieces& content, std::string& header, BytePieces& data, bool* noMemory = nullptr);

}  // namespace stub
