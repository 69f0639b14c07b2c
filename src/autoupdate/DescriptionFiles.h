// The two update description files: the ".info" file that the maker publishes with an update
// (the agent keeps a fresh copy of it) and the ".original" file that the product's
// installation leaves next to the agent, both named after the settings record's field 1.
// Their keys are read and written through IniAccess, so the rules of each key (its default,
// its width, what counts as "on") hold the same for the system's INI calls and for a test.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace stub {

// folder ends with a backslash. Field 1 "Product.info" gives folder + "Product.info" and
// folder + "Product.original"; "My.Product.info" gives "My.Product.info" and "My.original".
// A field without a file name gives no file (an empty path).
std::string InfoFileIn(const std::string& folder, const std::string& infoField);
std::string OriginalFileIn(const std::string& folder, const std::string& infoField);

// Whether a shortcut that the description files ask to remove may be deleted: a full path
// ("X:\...") of a ".lnk" file somewhere below one of the folders (the user's and all users'
// Startup and Programs folders), without "." or ".." parts, streams, wildcards or the
// trailing dots and blanks that the system would drop. Case is ignored.
bool IsRemovableShortcut(const std::string& path, const std::vector<std::string>& folders);

// The name part of a name taken from a description file, before any path is built from it:
// the text after the last "\", "/" or ":"; "" when that is empty, "." or "..".
std::string DescribedFileName(const std::string& name);

// An INI file as the system reads it: keys and sections ignore case, a missing key or an
// empty value gives def. An empty file name reads as missing and is never written.
class IniAccess {
 public:
  virtual ~IniAccess() = default;
  virtual std::string Read(const std::string& file, const char* section, const char* key, const std::string& def) = 0;
  virtual void Write(const std::string& file, const char* section, const char* key, const std::string& value) = 0;
};

// The appearance of the agent's message boxes: [MsgBox] of the .original file.
struct AgentBoxStyle {
  std::string error, confirm, attention;  // captions
  std::string buttons;
  std::string fontName;
  int charset = 0;
  int fontSize = 8;
};

// One read per key, each opening its file anew. Integers are 64-bit (those the files keep
// as 32-bit come out cut to 32 bits); a switch is on when its text is exactly "1".
class DescriptionFiles {
 public:
  DescriptionFiles(IniAccess& ini, const std::string& infoFile, const std::string& originalFile)
      : ini_(ini), info_(infoFile), original_(originalFile) {}
  const std::string& InfoFile() const { return info_; }
  const std::string& OriginalFile() const { return original_; }

  std::string Original(const char* section, const char* key, const char* def = "");
  int64_t OriginalInt(const char* section, const char* key, int64_t def = 0);
  std::string Info(const char* section, const char* key, const char* def = "");
  int64_t InfoInt(const char* section, const char* key, int64_t def = 0);
  // A [NewSetup] switch, or its override when the override byte at position is not 255.
  bool InfoSwitch(const char* key, int overridePosition);

  // [OriginalSetup]
  int64_t ProbeSecondsInterval() { return OriginalInt("OriginalSetup", "ProbeSecondsInterval"); }
  int64_t ProbeSecondsLast() { return OriginalInt("OriginalSetup", "ProbeSecondsLast"); }
  int64_t ReAskSecondsInterval() { return OriginalInt("OriginalSetup", "ReAskSecondsInterval"); }
  int64_t ReAskSecondsLast() { return OriginalInt("OriginalSetup", "ReAskSecondsLast"); }
  int32_t VersionOriginal() { return static_cast<int32_t>(OriginalInt("OriginalSetup", "VersionOriginal")); }
  int32_t StampOriginal() { return static_cast<int32_t>(OriginalInt("OriginalSetup", "Stamp")); }
  void SetOriginalInt(const char* key, int64_t value);
  // ProbeSecondsLast or ReAskSecondsLast, followed by its readable twin "__" + key.
  void SetSecondsLast(const char* key, int64_t agentSeconds);

  // [AutoUpdate] and [MsgBox] of the .original file.
  std::string AgentText(const char* key, const char* def = "");
  AgentBoxStyle BoxStyle();

  // [NewSetup], [General] and [AutoInform] of the .info file.
  int32_t VersionNew() { return static_cast<int32_t>(InfoInt("NewSetup", "VersionNew")); }
  int32_t StampNew() { return static_cast<int32_t>(InfoInt("NewSetup", "Stamp")); }
  // [General] AutoInform is exactly 1: the file announces a version instead of an update.
  bool AutoInform() { return InfoInt("General", "AutoInform") == 1; }

 private:
  IniAccess& ini_;
  std::string info_;
  std::string original_;
};

}  // namespace stub
