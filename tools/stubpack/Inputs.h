// The files that go into a package: found on disk, named as the stub will write them (in
// the package's ANSI code page, "\" separated), checked for names Windows cannot create,
// and dated.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Platform.h"

namespace stubpack {

struct InputFile {
  fs::path source;
  std::string shown;        // the package path in UTF-8 with "/", for messages
  std::string packagePath;  // the package path in the code page, "\" separated
  uint64_t size = 0;
  uint32_t dosDateTime = 0;
  bool main = false;
};

struct ScanOptions {
  int codePage = 1252;
  bool fixedDate = false;   // every file gets `date`
  uint32_t date = 0;
};

// A folder stands for its contents (sorted, so that builds repeat), a file for itself.
// Throws input errors for missing or unreadable files, names the code page cannot hold,
// unsafe names and names that are one file on Windows.
std::vector<InputFile> ScanInputs(const std::vector<std::string>& inputs, const ScanOptions& options);

// A relative path from the user (either separator) as the package names it; throws.
std::string PackagePathOf(const std::string& utf8Path, int codePage, const std::string& what);

// "YYYY-MM-DDTHH:MM:SS" as a packed DOS date-time, or "0" for none; throws a usage error.
uint32_t ParseDateOption(const std::string& text);

// Marks the program to launch; throws when it is not among the files (with the name that was
// probably meant) or is not a Windows program.
void MarkMainFile(std::vector<InputFile>& files, const std::string& mainPath, int codePage);

}  // namespace stubpack
