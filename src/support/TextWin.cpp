// Format's printf on Windows: the system's own (msvcrt.dll). The C library's, which mingw
// links by default, is about 25 KB of the stub, most of it for floating point; FixedText
// writes the stub's numbers with decimals.
#include <windows.h>

#include <cstdio>

#include "support/Text.h"

namespace stub {

int FormatArgs(char* buffer, size_t size, const char* fmt, va_list args) {
  va_list counting;
  va_copy(counting, args);
  const int length = _vscprintf(fmt, counting);
  va_end(counting);
  if (length < 0 || size == 0) return length;
  // _vsnprintf leaves out the terminating 0 when the text fills the buffer.
  const size_t written = static_cast<size_t>(length) < size ? static_cast<size_t>(length) : size - 1;
  _vsnprintf(buffer, written, fmt, args);
  buffer[written] = '\0';
  return length;
}

}  // namespace stub
