#include <windows.h>

#include "package/ByteSource.h"

namespace stub {

namespace {

class Win32FileSource : public ByteSource {
 public:
  explicit Win32FileSource(HANDLE file) : file_(file) {}
  ~Win32FileSource() override { CloseHandle(file_); }

  int64_t Size() override {
    LARGE_INTEGER size;
    return GetFileSizeEx(file_, &size) ? size.QuadPart : 0;
  }

  size_t ReadAt(int64_t offset, void* buffer, size_t count) override {
    if (offset < 0) return 0;
    LARGE_INTEGER where;
    where.QuadPart = offset;
    if (!SetFilePointerEx(file_, where, nullptr, FILE_BEGIN)) return 0;
    size_t total = 0;
    while (total < count) {
      DWORD chunk = static_cast<DWORD>(count - total > 0x10000000 ? 0x10000000 : count - total);
      DWORD got = 0;
      if (!ReadFile(file_, static_cast<char*>(buffer) + total, chunk, &got, nullptr) || got == 0) break;
      total += got;
    }
    return total;
  }

 private:
  HANDLE file_;
};

}  // namespace

std::unique_ptr<ByteSource> OpenFileSource(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  return std::unique_ptr<ByteSource>(new Win32FileSource(file));
}

std::unique_ptr<ByteSource> OpenFileSourceHeld(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  return std::unique_ptr<ByteSource>(new Win32FileSource(file));
}

bool PathIsFile(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace stub
