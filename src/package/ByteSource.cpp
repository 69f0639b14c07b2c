#include "package/ByteSource.h"

#include <cstring>

namespace stub {

size_t MemorySource::ReadAt(int64_t offset, void* buffer, size_t count) {
  if (offset < 0 || offset >= static_cast<int64_t>(bytes_.size())) return 0;
  size_t available = bytes_.size() - static_cast<size_t>(offset);
  size_t n = count < available ? count : available;
  std::memcpy(buffer, bytes_.data() + offset, n);
  return n;
}

}  // namespace stub
