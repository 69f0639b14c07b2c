#include "package/Records.h"

#include "package/PackageLayout.h"
#include "support/Text.h"
#include "support/VSUB.h"

namespace stub {

void ReadRawRecordInto(ByteSource& file, int64_t position, int64_t end, RawRecord& record, void (*pump)()) {
  record.stated = 0;
  record.compressed = false;
  record.complete = false;
  record.noMemory = false;
  record.bytes.clear();
  uint8_t raw[4];
  if (position < 0 || position + 4 > end || file.ReadAt(position, raw, 4) != 4) {
    record.next = position + 4;
    return;
  }
  record.stated = static_cast<int32_t>(ReadU32LE(raw));
  record.compressed = record.stated > 0;
  const int64_t length = record.stated < 0 ? -int64_t(record.stated) : int64_t(record.stated);
  const int64_t start = position + 4;
  record.next = start + length;
  const int64_t available = end - start;
  const int64_t wanted = length < available ? length : available;
  if (wanted > 0) {
    if (!TryResize(record.bytes, static_cast<size_t>(wanted))) {
      record.noMemory = true;
      return;
    }
    size_t done = 0;
    while (done < record.bytes.size()) {
      size_t chunk = record.bytes.size() - done;
      if (chunk > 65536) chunk = 65536;
      size_t got = file.ReadAt(start + static_cast<int64_t>(done), &record.bytes[done], chunk);
      done += got;
      if (pump) pump();
      if (got < chunk) break;
    }
    record.bytes.resize(done);
  }
  record.complete = static_cast<int64_t>(record.bytes.size()) == length;
}

RawRecord ReadRawRecord(ByteSource& file, int64_t position, int64_t end, void (*pump)()) {
  RawRecord record;
  ReadRawRecordInto(file, position, end, record, pump);
  return record;
}

FileRecord ParseFileRecord(const std::string& content) {
  FileRecord r;
  size_t zero = content.find('\0');
  if (zero == std::string::npos || zero == 0) return r;
  r.valid = true;
  r.header = content.substr(0, zero);
  r.data = content.substr(zero + 1);
  // A "*" anywhere in the header marks the program to launch; normally it is in field 0,
  // which then names the file and its parameters.
  if (r.header.find('*') != std::string::npos) {
    r.hasMainMark = true;
    r.mainFile = r.header;
  }
  r.path = SubGet(r.header, 0);
  const int64_t date = ToInt64(SubGet(r.header, 1), 0);
  r.dosDateTime = (date >= 0 && date <= 0xFFFFFFFFLL) ? static_cast<uint32_t>(date) : 0;
  size_t star = r.path.find('*');
  if (star != std::string::npos) {
    r.mainFile = r.path;
    r.path.erase(star);
  }
  return r;
}

// The last character of a port's device name: a digit 0 to 9, or the superscript one, two or
// three of the ANSI code page, which Windows takes for the digit (COM\xB9 opens COM1).
static bool IsPortNumber(char c) {
  return (c >= '0' && c <= '9') || c == '\xB9' || c == '\xB2' || c == '\xB3';
}

// CON, NUL, COM1 ... name devices in every folder, whatever extension follows: a write there
// would reach the device, not a file.
static bool IsDeviceName(const std::string& component) {
  std::string stem = UpperCase(TrimRight(component.substr(0, component.find('.'))));
  while (!stem.empty() && (stem.back() == ' ' || stem.back() == '.')) stem.pop_back();
  if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL" || stem == "CONIN$" || stem == "CONOUT$")
    return true;
  return stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) &&
         IsPortNumber(stem[3]);
}

bool IsSafeRelativePath(const std::string& path) {
  if (path.empty() || path.size() > 259) return false;
  if (path[0] == '\\' || path[0] == '/') return false;
  if (path.find(':') != std::string::npos) return false;  // drives and alternate streams
  for (unsigned char c : path)
    if (c < 32 || c == '<' || c == '>' || c == '"' || c == '|' || c == '?' || c == '*') return false;
  std::string component;
  for (size_t i = 0; i <= path.size(); ++i) {
    char c = i < path.size() ? path[i] : '\\';
    if (c == '\\' || c == '/') {
      std::string name = Trim(component);
      if (name.empty() || name == "." || name == "..") return false;
      // Windows drops trailing dots and blanks, so "..." or ".. " would climb too.
      if (name.find_first_not_of(". ") == std::string::npos) return false;
      if (IsDeviceName(name)) return false;
      component.clear();
    } else {
      component += c;
    }
  }
  return true;
}

std::string DiskBaseName(const std::string& firstPath) {
  if (EndsWithText(".001", firstPath, true)) return firstPath.substr(0, firstPath.size() - 4);
  return firstPath;
}

std::string DiskFileName(const std::string& base, int64_t disk) { return base + "." + ZeroPad(disk, 3); }

}  // namespace stub
