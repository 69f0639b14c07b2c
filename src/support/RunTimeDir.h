// Run-time variables: texts such as "<InstallDir>Prog.exe", "<UserAppDataDir>" or
// "<Date=6>" turned into the paths and values of the machine the program runs on. The
// expansion is portable and takes the machine's answers from a host; ExpandVariables uses
// this machine's.
#pragma once

#include <cstdint>
#include <string>

#include "support/ShellDir.h"
#include "support/Text.h"

namespace stub {

// What an expansion asks the machine. Folders may come with a trailing backslash, which the
// expansion takes off; registry values are used as they are.
class RunTimeHost {
 public:
  virtual ~RunTimeHost() = default;
  virtual std::string LoggedUserName() = 0;
  virtual std::string RegisteredUserName() = 0;  // the registered owner, else the logged user
  virtual std::string RegisteredOrganization() = 0;
  virtual std::string ComputerName() = 0;
  virtual std::string DomainName() = 0;  // of the logged user's account
  virtual std::string WindowsFolder() = 0;
  virtual std::string SystemFolder() = 0;
  virtual std::string TempFolder() = 0;
  virtual std::string OwnPath() = 0;     // the program's own file
  virtual std::string OriginPath() = 0;  // the file the program was started for; empty: none
  virtual std::string SpecialFolder(ShellFolder folder) = 0;
  virtual std::string RegistryValue(const std::string& key, const std::string& name) = 0;  // "" when absent
  virtual bool FolderExists(const std::string& path) = 0;
  virtual std::string FullPath(const std::string& path) = 0;  // relative parts resolved
  // The local clock and the user's date conventions.
  virtual CivilTime Now() = 0;
  virtual char DateSeparator() = 0;
  virtual char TimeSeparator() = 0;
  virtual std::string LongMonthName(int month) = 0;  // 1..12

  // Values a program that embeds the expansion may provide; this one provides none.
  virtual std::string EnteredValue(const std::string& /*name*/) { return std::string(); }
  virtual int64_t LastExecutableExitCode() { return 0; }
  // Field list of "<Variable>=value" entries, replaced before everything else.
  virtual std::string UserVariables() { return std::string(); }
  // Field list of service program paths, for "<ServiceDir>".
  virtual std::string ServicePaths() { return std::string(); }
  // The folder of run-time directory 1..8, asked once per process.
  virtual std::string ResolveRunTimeDir(int /*number*/) { return std::string(); }
};

// The three installation folders of "<InstallDir>", "<InstallCommonDir>" and
// "<InstallAuxDir>" ("<Application Folder>" ...); empty until set.
void SetInstallDirs(const std::string& installDir, const std::string& commonDir, const std::string& auxDir);
// Forgets the run-time directories resolved so far, for a host whose definitions changed.
void ClearRunTimeDirCache();

// The whole expansion. suffix is put after a folder variable unless the variable ends the
// text, a blank follows it, or it closes a field of a delimited list ("|<WinDir>|").
// withFolders replaces the folder variables; withUserTable the host's own variables first;
// resolveRelative makes paths (or the fields of a list) that hold "\.." or "..\" absolute.
std::string ExpandVariablesWith(RunTimeHost& host, const std::string& text, const std::string& suffix,
                                bool resolveRelative, bool withFolders, bool withUserTable);
// The same with this machine's answers.
std::string ExpandVariables(const std::string& text, const std::string& suffix, bool resolveRelative,
                            bool withFolders, bool withUserTable);

// Every occurrence of variable (case ignored) becomes value + suffix; whether the suffix is
// left off is decided at the first occurrence.
std::string ReplaceFolderVariable(const std::string& text, const std::string& variable, const std::string& value,
                                  const std::string& suffix);
// Doubled backslashes made single, except a pair that ends the text, a leading pair (a
// network path) and, in a delimited list, a pair right after the delimiter.
std::string CollapseDoubledBackslashes(const std::string& text);
// The date of "<Date=N>" for N one of "#01234567"; empty for any other N.
std::string DateVariableText(char form, const CivilTime& now, char dateSeparator, char timeSeparator,
                             const std::string& longMonthName);

}  // namespace stub
