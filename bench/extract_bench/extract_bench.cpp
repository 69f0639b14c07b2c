// extract_bench: one timed extraction of a package, printed as one line.
//
//   extract_bench ours PACKAGE DESTINATION    ExtractPackage
//   extract_bench plain PACKAGE DESTINATION   each record read whole, inflated with zlib into
//                                             one reused buffer, appended with 1 MiB WriteFile
//                                             calls (the reference)
//
// Prints "MODE seconds S work_seconds W files F peak_mb P". For ExtractPackage the
// work time ends where the routine starts its fixed 500 ms closing wait; seconds includes it.
// peak_mb is the growth of the process's peak working set during the extraction.
#include <windows.h>
#include <psapi.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "package/ByteSource.h"
#include "package/PackageLayout.h"
#include "package/UnPack.h"
#include "support/Files.h"
#include "support/Text.h"
#include "support/VSUB.h"

using namespace stub;

namespace {

double Now() {
  LARGE_INTEGER f, c;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&c);
  return double(c.QuadPart) / double(f.QuadPart);
}

struct Memory {
  size_t current = 0, peak = 0;
};
Memory MemoryNow() {
  PROCESS_MEMORY_COUNTERS pmc;
  std::memset(&pmc, 0, sizeof pmc);
  pmc.cb = sizeof pmc;
  Memory m;
  if (GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof pmc)) {
    m.current = pmc.WorkingSetSize;
    m.peak = pmc.PeakWorkingSetSize;
  }
  return m;
}

int g_files = 0;
double g_closingWaitStart = 0;

// The Windows host as ExtractPackage uses it, noting when the closing wait begins.
class TimedHost : public Win32ExtractHost {
 public:
  TimedHost() : Win32ExtractHost("Attention", "|&OK|&Cancel|", 0) {}
  void Log(const std::string& line) override {
    if (line.compare(0, 15, "UnCompressTime:") == 0) g_closingWaitStart = Now();
    Win32ExtractHost::Log(line);
  }
};

void CountFiles(int kind, int64_t, const std::string&, int, int) {
  if (kind == 1) ++g_files;
}

bool Ours(const std::string& package, const std::string& destination) {
  TimedHost host;
  ExtractRequest request;
  request.packagePath = package;
  request.destination = destination;
  request.progress = CountFiles;
  bool checksumOk = false;
  std::string mainFile;
  return RunExtraction(request, host, checksumOk, mainFile) == ExtractOutcome::Completed && checksumOk;
}

bool ReadExact(HANDLE file, void* buffer, size_t count) {
  size_t done = 0;
  while (done < count) {
    DWORD got = 0;
    DWORD want = static_cast<DWORD>(count - done > (1u << 30) ? (1u << 30) : count - done);
    if (!ReadFile(file, static_cast<char*>(buffer) + done, want, &got, nullptr) || got == 0) return false;
    done += got;
  }
  return true;
}

// The reference: nothing but reading, inflating and writing.
bool Plain(const std::string& package, const std::string& destination) {
  std::unique_ptr<ByteSource> source = OpenFileSource(package);
  if (!source) return false;
  PackageTrailer trailer;
  ReadTrailer(*source, trailer);
  const int64_t end = PackageEnd(*source);
  source.reset();
  HANDLE in = CreateFileA(package.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (in == INVALID_HANDLE_VALUE) return false;
  CreateDirectoryA(destination.c_str(), nullptr);
  std::vector<char> record, out(1 << 20);
  std::string lastFolder;
  int64_t position = trailer.DataOffset();
  LARGE_INTEGER at;
  at.QuadPart = position;
  SetFilePointerEx(in, at, nullptr, FILE_BEGIN);
  bool ok = true;
  for (int counter = 1; ok && end - position > 74; ++counter) {
    int32_t length = 0;
    if (!ReadExact(in, &length, 4)) return false;
    const size_t size = static_cast<size_t>(length < 0 ? -int64_t(length) : length);
    position += 4 + int64_t(size);
    if (record.size() < size) record.resize(size);
    if (!ReadExact(in, record.data(), size)) return false;
    if (counter <= trailer.LeadRecordCount()) continue;
    size_t produced = size;
    const char* content = record.data();
    if (length > 0) {
      z_stream z;
      std::memset(&z, 0, sizeof z);
      inflateInit(&z);
      z.next_in = reinterpret_cast<Bytef*>(record.data());
      z.avail_in = static_cast<uInt>(size);
      int r = Z_OK;
      produced = 0;
      while (r != Z_STREAM_END) {
        if (produced == out.size()) out.resize(out.size() * 2);
        z.next_out = reinterpret_cast<Bytef*>(out.data() + produced);
        z.avail_out = static_cast<uInt>(out.size() - produced);
        r = inflate(&z, Z_NO_FLUSH);
        produced = out.size() - z.avail_out;
        if (r != Z_OK && r != Z_STREAM_END) {
          inflateEnd(&z);
          return false;
        }
      }
      inflateEnd(&z);
      content = out.data();
    }
    const char* zero = static_cast<const char*>(std::memchr(content, 0, produced));
    if (!zero || zero == content) continue;
    const std::string header(content, zero);
    std::string path = SubGet(header, 0);
    path = path.substr(0, path.find('*'));
    const uint32_t date = static_cast<uint32_t>(ToInt64(SubGet(header, 1), 0));
    const std::string full = destination + "\\" + path;
    const std::string folder = StripSlash(FolderPart(full));
    if (folder != lastFolder) {
      ForceDirectories(folder);
      lastFolder = folder;
    }
    // A file larger than one record continues in the next: append.
    HANDLE file = CreateFileA(full.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    if (GetLastError() != ERROR_ALREADY_EXISTS) ++g_files;
    SetFilePointer(file, 0, nullptr, FILE_END);
    const char* data = zero + 1;
    size_t left = produced - static_cast<size_t>(data - content);
    while (left > 0) {
      DWORD want = static_cast<DWORD>(left > (1u << 20) ? (1u << 20) : left), done = 0;
      if (!WriteFile(file, data, want, &done, nullptr) || done == 0) {
        ok = false;
        break;
      }
      data += done;
      left -= done;
    }
    if (date) SetFileDosDate(file, date);
    CloseHandle(file);
  }
  CloseHandle(in);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 || (std::strcmp(argv[1], "ours") && std::strcmp(argv[1], "plain"))) {
    std::fprintf(stderr, "usage: extract_bench ours|plain PACKAGE DESTINATION\n");
    return 2;
  }
  const std::string mode = argv[1], package = argv[2], destination = argv[3];
  const Memory before = MemoryNow();
  const double start = Now();
  const bool ok = mode == "ours" ? Ours(package, destination) : Plain(package, destination);
  const double seconds = Now() - start;
  const Memory after = MemoryNow();
  if (!ok) {
    std::fprintf(stderr, "extract_bench: %s extraction failed\n", mode.c_str());
    return 1;
  }
  const double work = mode == "ours" && g_closingWaitStart > 0 ? g_closingWaitStart - start : seconds;
  std::printf("%s seconds %.3f work_seconds %.3f files %d peak_mb %.1f\n", mode.c_str(), seconds, work, g_files,
              double(after.peak > before.current ? after.peak - before.current : 0) / 1048576.0);
  return 0;
}
