// TGFileInfo: the reader of a package file's trailer and lead records (language block,
// settings record, download record), with the lookups the rest of the stub uses.
#pragma once

#include <cstdint>
#include <string>

#include "package/ByteSource.h"
#include "package/PackageLayout.h"

namespace stub {

class TGFileInfo {
 public:
  // Reads the package at path; a missing file leaves everything zero and empty.
  explicit TGFileInfo(const std::string& path);
  // Reads from an open source (tests, fuzzers, the package tools).
  explicit TGFileInfo(ByteSource& source);

  const PackageTrailer& Trailer() const { return trailer_; }
  const std::string& LanguageBlock() const { return language_; }
  const std::string& SettingsRecord() const { return settings_; }
  const std::string& DownloadRecord() const { return download_; }

  // Bytes the package's files take on the drive of path (Windows only).
  double GetSpaceNeeded(const std::string& path) const;

  std::string GetLangString(const std::string& key, const std::string& def) const;
  int GetCharset() const;
  int GetFontSize() const;
  std::string GetFontName() const;

  std::string GetUpdateURL() const;
  std::string GetInfoFileName() const;
  std::string GetOriginalFileName() const;
  std::string GetAgentFileName() const;
  std::string GetSecretToken(bool descramble) const;
  bool GetHideSetup() const;
  std::string GetDownloadURL() const;
  std::string GetDownloadFileName() const;
  bool GetDownloadNoLocalCopy() const;
  std::string GetDownloadToken(bool descramble) const;
  std::string GetDownloadSize() const;

 private:
  void Load(ByteSource& source);
  std::string FindSection(const std::string& name) const;

  PackageTrailer trailer_;
  std::string language_;
  std::string settings_;
  std::string download_;
};

// The reader on the stub's own file, opened on first use and alive until ClosePackageInfo
// at the end of the main body (Windows only).
TGFileInfo& PackageInfo();
void ClosePackageInfo();

// The language section chosen by the first GetLangString of the process ("*" when none was
// found); every later lookup on any instance uses it. Tests reset it.
const std::string& SelectedSection();
void ResetSelectedSectionForTesting();

}  // namespace stub
