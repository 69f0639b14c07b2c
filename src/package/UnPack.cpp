#include <windows.h>

#include "package/UnPack.h"

#include <algorithm>

#include "support/Files.h"
#include "support/Utils.h"
#include "support/VDebug.h"
#include "ui/VMsgBox.h"

namespace stub {

static const DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The tick of the system clock at which extraction last served the message queue.
static DWORD g_lastPumpTick = 0;
static bool g_setupRunCancelled = false;

void CancelSetupRun() { g_setupRunCancelled = true; }
bool SetupRunCancelled() { return g_setupRunCancelled; }

bool Win32ExtractHost::FileExists(const std::string& path) { return stub::FileExists(path); }
// Held against writes, renames and deletion from the checksum to the last record.
std::unique_ptr<ByteSource> Win32ExtractHost::OpenRead(const std::string& path) { return OpenFileSourceHeld(path); }
bool Win32ExtractHost::CreateFolder(const std::string& path) { return ForceDirectories(path); }

bool Win32ExtractHost::SaveFile(const std::string& path, const BytePieces& data, uint32_t dosDateTime, bool append) {
  bool existed = false;
  return Save(path, data, dosDateTime, append, existed);
}

// What a file record's writes open: nobody else may write, rename or delete the file while it
// is written, and its number and size can be read back.
static const DWORD kRecordAccess = GENERIC_WRITE | FILE_READ_ATTRIBUTES;

// The system's own file queries: GetFileInformationByHandle also asks for the volume's
// label and serial number, which under Wine is a round trip to another process and cost a
// third of a millisecond for every file extracted. ntdll is in every process from its start.
struct IoStatus {
  ULONG_PTR status;
  ULONG_PTR information;
};
typedef LONG(WINAPI* QueryFileFn)(HANDLE, IoStatus*, void*, ULONG, int);
static const QueryFileFn g_queryFile = reinterpret_cast<QueryFileFn>(
    reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationFile")));
enum { kFileBasicInformation = 4, kFileStandardInformation = 5, kFileInternalInformation = 6 };
struct FileBasicInfo {
  LARGE_INTEGER creationTime, lastAccessTime, lastWriteTime, changeTime;
  ULONG fileAttributes;
};
struct FileStandardInfo {
  LARGE_INTEGER allocationSize, endOfFile;
  ULONG numberOfLinks;
  BOOLEAN deletePending, directory;
};

// The number of the open file on its volume (never 0), its size and its creation time (a
// number freed by a deletion may be given to the next new file). The files compared all lie
// in the one folder being extracted to.
static uint64_t FileIdOf(HANDLE file, int64_t& size, uint64_t& times) {
  IoStatus io;
  LARGE_INTEGER number;
  FileBasicInfo basic;
  FileStandardInfo standard;
  if (!g_queryFile || g_queryFile(file, &io, &number, sizeof number, kFileInternalInformation) < 0 ||
      g_queryFile(file, &io, &basic, sizeof basic, kFileBasicInformation) < 0 ||
      g_queryFile(file, &io, &standard, sizeof standard, kFileStandardInformation) < 0)
    return 0;
  size = standard.endOfFile.QuadPart;
  times = static_cast<uint64_t>(basic.creationTime.QuadPart);
  const uint64_t id = static_cast<uint64_t>(number.QuadPart);
  return id ? id : 1;
}

// A new file at path. Whatever is there goes first: a file put there before this run, or a
// hard link, is removed (the link, not the file it shares) and never written through.
static HANDLE CreateFresh(const std::string& path, bool& existed) {
  HANDLE file = CreateFileA(path.c_str(), kRecordAccess, FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
  if (file != INVALID_HANDLE_VALUE) return file;
  const DWORD error = GetLastError();
  if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
    existed = existed || stub::FileExists(path);
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
  }
  existed = true;
  // A symbolic link is refused rather than deleted: some systems delete what it points to.
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    SetLastError(ERROR_CANT_ACCESS_FILE);
    return INVALID_HANDLE_VALUE;
  }
  if (!DeleteFileA(path.c_str())) return INVALID_HANDLE_VALUE;
  return CreateFileA(path.c_str(), kRecordAccess, FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                     nullptr);
}

bool Win32ExtractHost::WriteRecordData(const std::string& path, const BytePieces& data, uint32_t dosDateTime,
                                       FileStamp& stamp, bool& existed) {
  existed = false;
  HANDLE file = INVALID_HANDLE_VALUE;
  if (stamp.id != 0) {
    // A later record of a file this process wrote: appended only while the file there is
    // still that one, at the size it was left at.
    file = CreateFileA(path.c_str(), kRecordAccess, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      existed = true;
      int64_t size = -1;
      uint64_t times = 0;
      if (FileIdOf(file, size, times) != stamp.id || size != stamp.size || times != stamp.times ||
          FileSeek64(file, 2, 0) != size) {
        CloseHandle(file);
        file = INVALID_HANDLE_VALUE;
      }
    }
  }
  stamp = FileStamp();
  if (file == INVALID_HANDLE_VALUE) file = CreateFresh(path, existed);
  if (file == INVALID_HANDLE_VALUE) return false;
  size_t total = 0;
  for (const BytePiece& piece : data) total += piece.size;
  const size_t chunk = SaveChunkSize(total);
  bool complete = true;
  for (size_t i = 0; complete && i < data.size(); ++i) {
    size_t written = 0;
    while (written < data[i].size) {
      DWORD want = static_cast<DWORD>(std::min(chunk, data[i].size - written));
      DWORD done = 0;
      if (!WriteFile(file, data[i].data + written, want, &done, nullptr) || done == 0) break;
      written += done;
    }
    complete = written == data[i].size;
  }
  if (complete && dosDateTime != 0) SetFileDosDate(file, dosDateTime);
  // The caller reports the system's text for a failure: what follows must not replace it.
  const DWORD error = GetLastError();
  if (complete) stamp.id = FileIdOf(file, stamp.size, stamp.times);
  CloseHandle(file);
  SetLastError(error);
  return complete;
}

HANDLE OpenToRun(const std::string& path, const FileStamp* stamp) {
  if (!stamp) return INVALID_HANDLE_VALUE;
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) return file;
  int64_t size = -1;
  uint64_t times = 0;
  if (FileIdOf(file, size, times) != stamp->id || size != stamp->size || times != stamp->times) {
    CloseHandle(file);
    SetLastError(ERROR_FILE_INVALID);
    return INVALID_HANDLE_VALUE;
  }
  return file;
}

uint32_t Win32ExtractHost::LastErrorCode() { return GetLastError(); }
void Win32ExtractHost::SetLastErrorCode(uint32_t code) { SetLastError(code); }

namespace {

// The writer thread of an extraction, and the two events the window thread and the writer
// wake each other with. Both waits are short, so a wake-up that comes too early costs one
// more look, never a hang.
class Win32WriterThread : public WriterThread {
 public:
  Win32WriterThread()
      : work_(CreateEventA(nullptr, FALSE, FALSE, nullptr)), caller_(CreateEventA(nullptr, FALSE, FALSE, nullptr)) {}
  ~Win32WriterThread() override {
    Join();
    if (work_) CloseHandle(work_);
    if (caller_) CloseHandle(caller_);
  }
  bool Start(void (*run)(void*), void* arg) override {
    if (!work_ || !caller_) return false;
    run_ = run;
    arg_ = arg;
    thread_ = CreateThread(nullptr, 256 * 1024, Main, this, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    return thread_ != nullptr;
  }
  void Join() override {
    if (!thread_) return;
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
    thread_ = nullptr;
  }
  // The window thread waits here; its messages are served as they come.
  void WaitForWriter() override {
    if (MsgWaitForMultipleObjects(1, &caller_, FALSE, 10, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) PumpMessages();
  }
  void WakeCaller() override { SetEvent(caller_); }
  void WaitForWork() override { WaitForSingleObject(work_, 50); }
  void WakeWriter() override { SetEvent(work_); }

 private:
  static DWORD WINAPI Main(void* self) {
    Win32WriterThread* thread = static_cast<Win32WriterThread*>(self);
    thread->run_(thread->arg_);
    return 0;
  }
  HANDLE work_;
  HANDLE caller_;
  HANDLE thread_ = nullptr;
  void (*run_)(void*) = nullptr;
  void* arg_ = nullptr;
};

}  // namespace

std::unique_ptr<WriterThread> Win32ExtractHost::NewWriterThread() {
  return std::unique_ptr<WriterThread>(new Win32WriterThread);
}

// SaveToFile for data in pieces, so an inflated record is written without being joined first.
bool Win32ExtractHost::Save(const std::string& path, const BytePieces& data, uint32_t dosDateTime, bool append,
                            bool& existed) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, kShareAll, nullptr, append ? OPEN_ALWAYS : CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    existed = stub::FileExists(path);
    SetLastError(error);
    return false;
  }
  existed = GetLastError() == ERROR_ALREADY_EXISTS;
  bool complete = !append || FileSeek64(file, 2, 0) >= 0;
  size_t total = 0;
  for (const BytePiece& piece : data) total += piece.size;
  const size_t chunk = SaveChunkSize(total);
  for (size_t i = 0; complete && i < data.size(); ++i) {
    size_t written = 0;
    while (written < data[i].size) {
      DWORD want = static_cast<DWORD>(std::min(chunk, data[i].size - written));
      DWORD done = 0;
      if (!WriteFile(file, data[i].data + written, want, &done, nullptr) || done == 0) break;
      written += done;
    }
    complete = written == data[i].size;
  }
  if (complete && dosDateTime != 0) SetFileDosDate(file, dosDateTime);
  // The caller reports the system's text for a failure: closing must not replace it.
  const DWORD error = GetLastError();
  CloseHandle(file);
  SetLastError(error);
  return complete;
}

uint32_t Win32ExtractHost::FileDosDate(const std::string& path) { return stub::FileDosDate(path); }

int64_t Win32ExtractHost::FileSize(const std::string& path) { return FileSizeByName(path); }
double Win32ExtractHost::FreeBytes(const std::string& path) { return DiskFreeBytes(path); }
std::string Win32ExtractHost::LastErrorText() { return SysErrorText(); }
void Win32ExtractHost::EjectCD(const std::string& path) { stub::EjectCD(path); }
void Win32ExtractHost::RefuseAutoPlay() { AutoPlayMessage(true); }
void Win32ExtractHost::ShowError(const std::string& text) {
  if (silent_) Log("Not shown (hidden setup): " + text);
  else MsgError(0, text, std::string(), charset_, buttons_);
}
bool Win32ExtractHost::AskForDisk(const std::string& text) { return MsgOkCancel(0, text, caption_, charset_, buttons_); }
bool Win32ExtractHost::Cancelled() { return g_setupRunCancelled; }
uint32_t Win32ExtractHost::Tick() { return GetTickCount(); }
void Win32ExtractHost::Wait(unsigned milliseconds) { WaitPumping(0, milliseconds); }
// Serving the queue costs a round trip to the system even when it is empty; once per tick of
// the system clock (10-16 ms) keeps the windows just as responsive.
static void PumpEveryTick() {
  const DWORD now = GetTickCount();
  if (now == g_lastPumpTick) return;
  g_lastPumpTick = now;
  PumpMessages();
}

PumpHook Win32ExtractHost::Pump() { return PumpEveryTick; }

void Win32ExtractHost::Log(const std::string& line) {
  WriteLog(line);
  DebugLine(line);
}

std::string Win32ExtractHost::ProcessIdText() { return PidText(); }

ExtractOutcome ExtractPackage(const std::string& packagePath, const std::string& destination,
                              const std::string& agentFileName, bool& checksumOk, ProgressHandler progress,
                              const std::string& diskPrompt, const std::string& diskCaption,
                              const std::string& diskButtons, int charset, bool forcePrompt,
                              std::string& mainFile, bool unattended) {
  Win32ExtractHost host(diskCaption, diskButtons, charset, unattended);
  ExtractRequest request;
  request.packagePath = packagePath;
  request.destination = destination;
  request.agentFileName = agentFileName;
  request.diskPrompt = diskPrompt;
  request.forcePrompt = forcePrompt;
  request.unattended = unattended;
  request.progress = progress;
  return RunExtraction(request, host, checksumOk, mainFile);
}

}  // namespace stub
