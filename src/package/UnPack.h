// Extraction of a package into a folder: the stub's own file or a package split over disk
// files, checked, inflated record by record, with disk prompts and the agent copy.
#pragma once

#include <windows.h>

#include <string>

#include "inet/VProgBar.h"
#include "package/UnPackCore.h"

namespace stub {

// Extracts the package at packagePath into destination. checksumOk tells whether every disk
// file that was opened passed its checksum test; mainFile names the program to start
// ("Engine.exe*/X=1"), empty when none is marked or the extraction did not finish. Disk
// prompts and error boxes use the caption, buttons and character set given. Unattended (a
// hidden setup), it shows nothing: a missing disk ends it, errors go to the log only.
ExtractOutcome ExtractPackage(const std::string& packagePath, const std::string& destination,
                              const std::string& agentFileName, bool& checksumOk, ProgressHandler progress,
                              const std::string& diskPrompt, const std::string& diskCaption,
                              const std::string& diskButtons, int charset, bool forcePrompt,
                              std::string& mainFile, bool unattended = false);

// The extracted program, opened to be started: for reading, with nobody else allowed to write,
// rename or delete it until the handle is closed after its start. Refused (an invalid handle)
// unless it is the very file stamp says this process wrote there, at that size.
HANDLE OpenToRun(const std::string& path, const FileStamp* stamp);

// Set when the user closes the window a setup runs behind: a running extraction stops at its
// next record, and the setup starts no program afterwards. Stays set for the process.
void CancelSetupRun();
bool SetupRunCancelled();

// The system calls of ExtractPackage: files, the message boxes (error box and the OK/Cancel
// disk prompt), waits that serve window messages, the run log and the debug channel. A
// silent host writes its error texts to the log instead of showing them.
class Win32ExtractHost : public ExtractHost {
 public:
  Win32ExtractHost(const std::string& caption, const std::string& buttons, int charset, bool silent = false)
      : caption_(caption), buttons_(buttons), charset_(charset), silent_(silent) {}

  bool FileExists(const std::string& path) override;
  std::unique_ptr<ByteSource> OpenRead(const std::string& path) override;
  bool CreateFolder(const std::string& path) override;
  bool SaveFile(const std::string& path, const BytePieces& data, uint32_t dosDateTime, bool append) override;
  bool WriteRecordData(const std::string& path, const BytePieces& data, uint32_t dosDateTime, FileStamp& stamp,
                       bool& existed) override;
  std::unique_ptr<WriterThread> NewWriterThread() override;
  uint32_t LastErrorCode() override;
  void SetLastErrorCode(uint32_t code) override;
  uint32_t FileDosDate(const std::string& path) override;
  int64_t FileSize(const std::string& path) override;
  double FreeBytes(const std::string& path) override;
  std::string LastErrorText() override;
  void EjectCD(const std::string& path) override;
  void RefuseAutoPlay() override;
  void ShowError(const std::string& text) override;
  bool AskForDisk(const std::string& text) override;
  bool Cancelled() override;
  uint32_t Tick() override;
  void Wait(unsigned milliseconds) override;
  PumpHook Pump() override;
  void Log(const std::string& line) override;
  std::string ProcessIdText() override;

 private:
  bool Save(const std::string& path, const BytePieces& data, uint32_t dosDateTime, bool append, bool& existed);

  std::string caption_;
  std::string buttons_;
  int charset_;
  bool silent_;
};

}  // namespace stub
