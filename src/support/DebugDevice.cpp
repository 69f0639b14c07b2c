#include "support/DebugDevice.h"

namespace stub {

void DebugDevice::Write(const std::string& text) {
  for (char c : text) {
    buffer_[used_++] = c;
    if (used_ == kBufferSize || c == '\n') Flush();
  }
}

void DebugDevice::Flush() {
  if (used_ == 0) return;
  size_t n = used_ < kHandOverLimit ? used_ : kHandOverLimit;
  std::string text(buffer_, n);
  used_ = 0;
  if (sink_) sink_(text, context_);
}

std::string FormatLogLine(const CivilTime& now, char dateSeparator, char timeSeparator, uint32_t threadId,
                          const std::string& prefix, const std::string& text) {
  return StampText(now, false, dateSeparator, timeSeparator) + " " + PadLeft(IntText(threadId), 5, ' ') + prefix +
         text + "\r\n";
}

std::string LogFileNameFor(const std::string& exePath) {
  std::string name = FileNamePart(exePath);
  if (name.compare(0, 2, "X_") != 0) name = "X_" + name;
  return FolderSlash(FolderPart(exePath), true) + ChangeFileExt(name, ".log");
}

}  // namespace stub
