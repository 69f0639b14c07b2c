// The few things stubpack asks of the system, once for POSIX hosts and once for Windows:
// arguments and paths as UTF-8, the ANSI code pages of the stub's texts, file times, the
// console.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "support/Text.h"

namespace stubpack {

namespace fs = std::filesystem;

// Paths travel as UTF-8 text inside the program.
inline fs::path PathOf(const std::string& utf8) { return fs::u8path(utf8); }
inline std::string TextOf(const fs::path& path) { return path.u8string(); }

void InitConsole();
std::vector<std::string> Arguments(int argc, char** argv);
bool IsTerminal(std::FILE* stream);
// Bytes to standard output exactly, without line-end translation.
void WriteStdout(const std::string& bytes);

// Text of the package in an ANSI code page (1252, 1250, 932 ...). ToCodePage fails when a
// character has no place in the code page or the UTF-8 is not valid.
bool CodePageSupported(int codePage);
bool ToCodePage(const std::string& utf8, int codePage, std::string& out);
// Best effort for display: bytes without a character come out as "?".
std::string FromCodePage(const std::string& bytes, int codePage);

bool ModifiedTime(const fs::path& path, int64_t& unixSeconds);
bool SetModifiedTime(const fs::path& path, int64_t unixSeconds);
stub::CivilTime LocalTimeOf(int64_t unixSeconds);
int64_t UnixTimeOfLocal(const stub::CivilTime& t);

std::FILE* OpenFile(const fs::path& path, const char* mode);
bool SeekFile(std::FILE* file, int64_t offset);

}  // namespace stubpack
