// The few platform calls of the portable core, for host builds (tools and unit tests).
#include <sys/stat.h>

#include <cstdio>

#include "package/ByteSource.h"
#include "support/Text.h"
#include "ui/SLangId.h"

namespace stub {

namespace {

class HostFileSource : public ByteSource {
 public:
  explicit HostFileSource(std::FILE* file) : file_(file) {}
  ~HostFileSource() override { std::fclose(file_); }

  int64_t Size() override {
    struct stat st;
    return fstat(fileno(file_), &st) == 0 ? static_cast<int64_t>(st.st_size) : 0;
  }

  size_t ReadAt(int64_t offset, void* buffer, size_t count) override {
    if (offset < 0 || fseeko(file_, static_cast<off_t>(offset), SEEK_SET) != 0) return 0;
    return std::fread(buffer, 1, count, file_);
  }

 private:
  std::FILE* file_;
};

}  // namespace

std::unique_ptr<ByteSource> OpenFileSource(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return nullptr;
  return std::unique_ptr<ByteSource>(new HostFileSource(file));
}

bool PathIsFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

int QuerySystemLanguageId() { return 9; }

int FormatArgs(char* buffer, size_t size, const char* fmt, va_list args) {
  return std::vsnprintf(buffer, size, fmt, args);
}

}  // namespace stub
