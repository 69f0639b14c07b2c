// The two diagnostic outputs: the debug channel (text handed to an outside viewer window
// in pieces of at most 128 characters, at every line end) and the run log beside the stub.
// Neither ever changes what the program does; every failure inside them is swallowed.
#pragma once

#include <string>

namespace stub {

// Debug channel. Text is buffered as on a text device and handed on when the buffer is full
// and at every line end ("\r\n").
void DebugWrite(const std::string& text);
void DebugLine(const std::string& text);        // text + line end
void DebugPidLine(const std::string& text);     // process id in decimal, text, line end
std::string PidText();                          // the process id in decimal

// Run log.
void SetLogEnabled(bool enabled);
bool LogEnabled();
void SetLogPrefix(const std::string& prefix);
std::string LogFileName();
void WriteLog(const std::string& text);

// Switches the debug channel to file (1), both (2) or viewer only (0) for a test.
void SetDebugModeForTesting(int mode);

}  // namespace stub
