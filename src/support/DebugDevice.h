// The text device behind the debug channel: a 128-character buffer handed to a sink when it
// is full and at every line end, so a viewer gets each line as one text (a long line as
// several). Also the pure pieces of the run log.
#pragma once

#include <cstdint>
#include <string>

#include "support/Text.h"

namespace stub {

class DebugDevice {
 public:
  static const size_t kBufferSize = 128;
  static const size_t kHandOverLimit = 10241;
  typedef void (*Sink)(const std::string& text, void* context);

  DebugDevice(Sink sink, void* context) : sink_(sink), context_(context) {}
  void Write(const std::string& text);
  void Flush();

 private:
  Sink sink_;
  void* context_;
  char buffer_[kBufferSize];
  size_t used_ = 0;
};

// "dd/mm/yy HH:NN:SS" + blank + thread id right-aligned in 5 + prefix + text + CRLF.
std::string FormatLogLine(const CivilTime& now, char dateSeparator, char timeSeparator, uint32_t threadId,
                          const std::string& prefix, const std::string& text);
// The run log beside the program: X_Agent.exe and Agent.exe both log to X_Agent.log.
std::string LogFileNameFor(const std::string& exePath);

}  // namespace stub
