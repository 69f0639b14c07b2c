// Lays out a package exactly as the stub reads it: the stub program, the lead records, the
// file records, the 74-byte trailer, the logical length at 248/252 and the checksum.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace stub {

struct PackageFile {
  std::string path;         // relative to the destination folder, "\" separated
  std::string data;
  uint32_t dosDateTime = 0; // packed DOS date (high 16 bits) and time (low 16 bits)
  bool main = false;        // the program to launch
  std::string mainArgs;     // extra parameters written after the "*"
};

struct PackageSpec {
  std::string stub;             // the stub program's bytes
  std::string languageBlock;    // lead record 1
  std::string settingsRecord;   // lead record 2
  std::string downloadRecord;   // lead record 3, written when hasDownloadRecord
  bool hasDownloadRecord = false;
  uint8_t flags = 0;            // trailer byte 65
  bool internetPackage = false;
  bool askBeforeDownload = false;
  bool makeAgentCopy = false;
  bool agentCopy = false;
  int level = 6;                // zlib level; 0 stores the records
  bool writeLogicalLength = true;
};

// The header of a file record: a field list of the path (with "*" + parameters for the
// main program) and the date, its delimiter chosen so that it occurs in neither.
std::string FileRecordHeader(const PackageFile& file);
std::string LanguageSection(const std::string& name, const std::vector<std::string>& entries);
std::string LanguageBlockOf(const std::vector<std::string>& sections);
uint32_t DistinctFileCount(const std::vector<PackageFile>& files);

// The whole package file.
std::string BuildPackage(const PackageSpec& spec, const std::vector<PackageFile>& files);
// The agent copy as extraction writes it: stub, lead records, trailer with AgentCopy 1 and
// zeros at 252..255.
std::string BuildAgentCopy(const std::string& package);

}  // namespace stub
