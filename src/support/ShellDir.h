// The user's and all users' special folders (documents, application data, start menu,
// desktop ...), each asked from the shell first and, where the shell has no answer or names a
// folder that is not there, built from the folders it does know. The chains of candidates
// are portable (ResolveShellFolder over a source); ShellDir asks this machine.
#pragma once

#include <string>

namespace stub {

enum class ShellFolder {
  UserDir,
  DocumentsAndSettingsDir,
  AllUsersDir,
  UserAppDataDir,
  UserLocalAppDataDir,
  AllUsersAppDataDir,
  MyDocumentsDir,
  AllUsersDocumentsDir,
  UserStartMenuDir,
  AllUsersStartMenuDir,
  UserStartProgramMenuDir,
  AllUsersStartProgramMenuDir,
  UserDesktopDir,
  AllUsersDesktopDir,
  UserStartupDir,
  AllUsersStartupDir,
};

// The shell's numbers of the folders asked for.
const int CsidlPrograms = 0x02;
const int CsidlPersonal = 0x05;
const int CsidlStartup = 0x07;
const int CsidlStartMenu = 0x0B;
const int CsidlDesktopDirectory = 0x10;
const int CsidlCommonStartMenu = 0x16;
const int CsidlCommonPrograms = 0x17;
const int CsidlCommonStartup = 0x18;
const int CsidlCommonDesktopDirectory = 0x19;
const int CsidlAppData = 0x1A;
const int CsidlLocalAppData = 0x1C;
const int CsidlCommonAppData = 0x23;
const int CsidlCommonDocuments = 0x2E;

// What the chains ask the machine. Paths may come with or without a trailing backslash.
class ShellFolderSource {
 public:
  virtual ~ShellFolderSource() = default;
  // The current path of a folder from the shell's folder-path query (creating the folder);
  // empty when the query or its library is missing or fails.
  virtual std::string FolderPath(int csidl) = 0;
  // The same from the older special-folder query, which never creates anything.
  virtual std::string SpecialFolderPath(int csidl) = 0;
  virtual bool FolderExists(const std::string& path) = 0;
  virtual std::string WindowsFolder() = 0;
  virtual std::string RegisteredUserName() = 0;  // the registered owner, else the logged user
};

// The folder without a trailing backslash. Every candidate but the last of a chain counts
// only when it is not empty and the folder exists; the last one is taken as it is.
std::string ResolveShellFolder(ShellFolder folder, ShellFolderSource& source);

// The folder on this machine, with a trailing backslash when asked for.
std::string ShellDir(ShellFolder folder, bool withSlash);

}  // namespace stub
