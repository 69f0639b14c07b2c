// `stubpack build`: a package from a stub, lead-record options and files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace stubpack {

struct BuildOptions {
  std::string stub, out;
  std::vector<std::string> inputs;
  std::string main, mainArgs;
  std::string lang;
  std::string updateUrl, infoFile, agentFile, token;
  bool hide = false;
  bool announceTemp = false, runFromTempCopy = false, showActivityBar = false, log = false, makeAgentCopy = false;
  bool internet = false, noLocalCopy = false, askBeforeDownload = false;
  std::string downloadUrl, downloadFile, downloadToken, downloadSize;
  uint64_t diskSize = 0;
  bool agentCopy = false;
  int level = 6;
  std::string date;            // empty: the files' own dates
  int codePage = 1252;
  std::string compressor;      // empty: the build's default
  int jobs = 0;                // 0: every core
  uint64_t recordLimit = 0;    // 0: the default bound
  bool quiet = false;
};

// The bound on the data of one record unless --record-limit says otherwise.
extern const uint64_t kDefaultRecordLimit;

// Builds the package; throws ToolError. Prints one line per written file unless quiet.
void RunBuild(const BuildOptions& options);

}  // namespace stubpack
