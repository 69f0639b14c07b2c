#include "Extract.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "Errors.h"
#include "FileIO.h"
#include "PackageReport.h"
#include "PackageWriter.h"
#include "package/UnPackCore.h"
#include "support/Text.h"

namespace stubpack {

namespace {

// The stub's extraction host, over this machine's files. The extractor names files as
// destination + "\" + the package path in its code page; Map turns that into a local path.
class LocalHost : public stub::ExtractHost {
 public:
  LocalHost(const std::string& destination, int codePage, bool verbose)
      : destination_(destination), codePage_(codePage), verbose_(verbose) {}

  bool FileExists(const std::string& path) override {
    std::error_code error;
    return fs::exists(Map(path), error);
  }
  std::unique_ptr<stub::ByteSource> OpenRead(const std::string& path) override {
    std::unique_ptr<FileSource> source = FileSource::Open(Map(path));
    if (!source) Failed();
    return std::unique_ptr<stub::ByteSource>(source.release());
  }
  bool CreateFolder(const std::string& path) override {
    std::error_code error;
    fs::create_directories(Map(path), error);
    if (error) lastError_ = error.message();
    return !error;
  }
  bool SaveFile(const std::string& path, const stub::BytePieces& data, uint32_t dosDateTime, bool append) override {
    const fs::path target = Map(path);
    std::FILE* file = OpenFile(target, append ? "ab" : "wb");
    if (!file) return Failed();
    bool ok = true;
    for (const stub::BytePiece& p : data) ok = ok && std::fwrite(p.data, 1, p.size, file) == p.size;
    if (std::fclose(file) != 0) ok = false;
    if (!ok) return Failed();
    if (dosDateTime) SetModifiedTime(target, UnixTimeOfLocal(stub::UnpackDosDateTime(dosDateTime)));
    if (verbose_) std::printf("  %s\n", TextOf(target).c_str());
    return true;
  }
  uint32_t FileDosDate(const std::string& path) override {
    int64_t seconds = 0;
    return ModifiedTime(Map(path), seconds) ? stub::PackDosDateTime(LocalTimeOf(seconds)) : 0;
  }
  int64_t FileSize(const std::string& path) override {
    std::error_code error;
    const uintmax_t size = fs::file_size(Map(path), error);
    return error ? 0 : static_cast<int64_t>(size);
  }
  double FreeBytes(const std::string& path) override {
    std::error_code error;
    const fs::space_info space = fs::space(Map(path).parent_path(), error);
    return error ? 0 : static_cast<double>(space.available);
  }
  std::string LastErrorText() override { return lastError_; }
  void EjectCD(const std::string&) override {}
  void RefuseAutoPlay() override {}
  void ShowError(const std::string& text) override {
    std::fprintf(stderr, "stubpack: %s\n", Plain(text).c_str());
  }
  bool AskForDisk(const std::string&) override { return false; }
  uint32_t Tick() override {
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
  }
  void Wait(unsigned) override {}
  stub::PumpHook Pump() override { return nullptr; }
  void Log(const std::string& line) override {
    const std::string shown = FromCodePage(line, codePage_);
    if (verbose_ && !line.empty()) std::printf("log: %s\n", shown.c_str());
    // The lines of what the stub would leave out.
    for (const char* start : {"Unsafe path refused", "Save failed", "Signature mismatch", "Disk "})
      if (stub::StartsWithText(start, line, false)) problems.push_back(shown);
  }
  std::string ProcessIdText() override { return "0"; }

  std::vector<std::string> problems;

 private:
  fs::path Map(const std::string& path) const {
    const std::string prefix = destination_ + "\\";
    if (!stub::StartsWithText(prefix, path, false)) return PathOf(path);
    const std::string relative = stub::ReplaceChar(FromCodePage(path.substr(prefix.size()), codePage_), '\\', '/');
    return PathOf(destination_) / PathOf(relative);
  }
  bool Failed() {
    lastError_ = std::strerror(errno);
    return false;
  }
  // The message-box markup as plain text.
  static std::string Plain(const std::string& text) {
    std::string s = stub::ReplaceTextCI(text, "<P>", " ");
    s = stub::ReplaceTextCI(s, "<T>", "");
    return s;
  }

  std::string destination_;
  int codePage_;
  bool verbose_;
  std::string lastError_;
};

}  // namespace

// What an extraction that stopped part-way left in the folder, which was new or empty: a file
// cut at a missing disk must not pass for a whole one.
static void RemoveExtracted(const fs::path& dir, bool madeHere) {
  std::error_code error;
  if (madeHere) {
    fs::remove_all(dir, error);
    return;
  }
  for (fs::directory_iterator it(dir, error), end; !error && it != end; it.increment(error)) {
    std::error_code ignored;
    fs::remove_all(it->path(), ignored);
  }
}

int RunExtract(const std::string& package, const std::string& folder, int codePage, bool verbose) {
  std::error_code error;
  const fs::path dir = PathOf(folder);
  const bool existed = fs::exists(dir, error);
  if (existed && (!fs::is_directory(dir, error) || !fs::is_empty(dir, error)))
    throw UsageError("extract into a new or empty folder; " + folder + " is not");
  {
    std::unique_ptr<FileSource> source = FileSource::Open(PathOf(package));
    if (!source) throw InputError("cannot read " + package);
    const std::string reason = NotAPackage(*source, package);
    if (!reason.empty()) throw InputError(reason);
  }
  std::string destination = TextOf(dir.lexically_normal());
  while (destination.size() > 1 && (destination.back() == '/' || destination.back() == '\\')) destination.pop_back();

  LocalHost host(destination, codePage, verbose);
  stub::ExtractRequest request;
  request.packagePath = package;
  request.destination = destination;
  request.unattended = true;  // a missing disk is reported, not asked for
  bool checksumOk = false;
  std::string mainFile;
  const stub::ExtractOutcome outcome = stub::RunExtraction(request, host, checksumOk, mainFile);

  std::printf("%s: %s%s\n", package.c_str(), stub::OutcomeName(outcome), checksumOk ? "" : ", checksum failed");
  std::printf("program to launch: %s\n", mainFile.empty() ? "none" : FromCodePage(mainFile, codePage).c_str());
  for (const std::string& p : host.problems) std::printf("PROBLEM: %s\n", p.c_str());
  if (outcome == stub::ExtractOutcome::Completed && checksumOk && host.problems.empty()) return kExitOk;
  RemoveExtracted(dir, !existed);
  std::printf("nothing is left in %s: the package cannot be extracted whole\n", folder.c_str());
  return kExitDamaged;
}

}  // namespace stubpack
