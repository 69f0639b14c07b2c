// Run-time variables on the machine the tests run on: the special folders as its shell
// reports them, and the folders and names the expansion asks the system for.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "support/Files.h"
#include "support/RunTimeDir.h"
#include "support/ShellDir.h"
#include "support/Utils.h"

using namespace stub;

namespace {

std::string Expand(const std::string& text) { return ExpandVariables(text, "\\", true, true, true); }

std::string EnvironmentValue(const char* name) {
  char value[MAX_PATH + 1] = {};
  DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
  return n > 0 && n < sizeof value ? std::string(value, n) : std::string();
}

std::string ParentOf(const std::string& path) { return FolderSlash(FolderPart(path), false); }

TEST(RunTimeDirMachine, SpecialFoldersAsTheShellReportsThem) {
  const std::string profile = "C:\\users\\" + CurrentUserName();
  struct {
    ShellFolder folder;
    const char* variable;
    std::string expected;  // as a 64-bit Wine prefix lays them out, case ignored
  } cases[] = {
      {ShellFolder::UserDir, "<UserDir>", profile},
      {ShellFolder::DocumentsAndSettingsDir, "<DocumentsAndSettingsDir>", "C:\\users"},
      // The parent of the common application data: on this layout the drive itself.
      {ShellFolder::AllUsersDir, "<AllUsersDir>", "C:"},
      {ShellFolder::UserAppDataDir, "<UserAppDataDir>", profile + "\\AppData\\Roaming"},
      {ShellFolder::UserLocalAppDataDir, "<UserLocalAppDataDir>", profile + "\\AppData\\Local"},
      {ShellFolder::AllUsersAppDataDir, "<AllUsersAppDataDir>", "C:\\ProgramData"},
      {ShellFolder::MyDocumentsDir, "<MyDocumentsDir>", profile + "\\Documents"},
      {ShellFolder::AllUsersDocumentsDir, "<AllUsersDocumentsDir>", "C:\\users\\Public\\Documents"},
      {ShellFolder::UserStartMenuDir, "<UserStartMenuDir>",
       profile + "\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu"},
      {ShellFolder::AllUsersStartMenuDir, "<AllUsersStartMenuDir>", "C:\\ProgramData\\Microsoft\\Windows\\Start Menu"},
      {ShellFolder::UserStartProgramMenuDir, "<UserStartProgramMenuDir>",
       profile + "\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs"},
      {ShellFolder::AllUsersStartProgramMenuDir, "<AllUsersStartProgramMenuDir>",
       "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs"},
      {ShellFolder::UserDesktopDir, "<UserDesktopDir>", profile + "\\Desktop"},
      {ShellFolder::AllUsersDesktopDir, "<AllUsersDesktopDir>", "C:\\users\\Public\\Desktop"},
  };
  for (const auto& c : cases) {
    std::string path = ShellDir(c.folder, false);
    EXPECT_TRUE(SameText(path, c.expected)) << c.variable << ": " << path;
    EXPECT_TRUE(DirectoryExists(path)) << path;
    EXPECT_EQ(ShellDir(c.folder, true), path + "\\");
    EXPECT_EQ(Expand(std::string(c.variable) + "x.ini"), path + "\\x.ini");
  }
  EXPECT_EQ(ShellDir(ShellFolder::UserDir, false), ParentOf(ShellDir(ShellFolder::MyDocumentsDir, false)));

  // The shell's libraries came from the system folder, not from a search.
  char loaded[MAX_PATH + 1] = {};
  GetModuleFileNameA(GetModuleHandleA("shfolder.dll"), loaded, sizeof loaded);
  EXPECT_TRUE(SameText(loaded, SystemFolder(true) + "shfolder.dll")) << loaded;
}

TEST(RunTimeDirMachine, SystemFoldersAndNames) {
  char windows[MAX_PATH + 1] = {}, system[MAX_PATH + 1] = {}, temp[MAX_PATH + 1] = {};
  GetWindowsDirectoryA(windows, sizeof windows);
  GetSystemDirectoryA(system, sizeof system);
  GetTempPathA(sizeof temp, temp);
  const std::string tempFolder = FolderSlash(temp, false);
  EXPECT_EQ(Expand("<WinDir>a.ini"), std::string(windows) + "\\a.ini");
  EXPECT_EQ(Expand("|<Windows Directory>|<WinSysDir>|<TempDir>|"),
            "|" + std::string(windows) + "|" + system + "|" + tempFolder + "|");
  EXPECT_TRUE(SameText(Expand("<WinSys16Dir>"), std::string(windows) + "\\system"));
  EXPECT_EQ(Expand("<WinDrive>|<WinDisk>"), std::string(windows).substr(0, 3) + "|" + std::string(windows, 2));
  EXPECT_EQ(Expand("<SrcDir>x.exe"), ExeFolder(true) + "x.exe");
  EXPECT_EQ(Expand("<OriginDir>x.exe"), ExeFolder(true) + "x.exe");  // no /OriginExe= here

  // A 32-bit program reads the 32-bit view: the same folder its environment names.
  std::string programFiles = EnvironmentValue("ProgramFiles");
  ASSERT_FALSE(programFiles.empty());
  EXPECT_EQ(Expand("<ProgramFilesDir>Acme\\a.exe"), programFiles + "\\Acme\\a.exe");
  EXPECT_EQ(Expand("<CommonFilesDir>"), EnvironmentValue("CommonProgramFiles"));
  EXPECT_TRUE(SameText(Expand("<FontDir>"), std::string(windows) + "\\Fonts"));
  EXPECT_TRUE(DirectoryExists(Expand("<StartMenuDir>")));

  char computer[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = sizeof computer;
  GetComputerNameA(computer, &size);
  char user[256] = {};
  size = sizeof user;
  GetUserNameA(user, &size);
  // A local account's domain is the computer.
  EXPECT_EQ(Expand("<ComputerName>|<LoggedUserName>|<CurrentDomainName>"),
            std::string(computer) + "|" + user + "|" + computer);
  EXPECT_EQ(Expand("<UserName>|<CompanyName>"), GetRegisteredOwner() + "|" + GetRegisteredOrganization());
}

TEST(RunTimeDirMachine, DatesAndRelativeParts) {
  SYSTEMTIME before, after;
  GetLocalTime(&before);
  std::string date = Expand("<Date=6>");
  GetLocalTime(&after);
  std::string expected = Format("%04d-%02d-%02d", before.wYear, before.wMonth, before.wDay);
  if (after.wDay != before.wDay) expected = Format("%04d-%02d-%02d", after.wYear, after.wMonth, after.wDay);
  EXPECT_EQ(date, expected);
  std::string stamp = Expand("<Date=7>");
  ASSERT_EQ(stamp.size(), 19u) << stamp;
  EXPECT_EQ(stamp.substr(0, 10), expected);
  EXPECT_EQ(stamp[13], TimeSeparator());

  EXPECT_EQ(Expand("C:\\A\\..\\B"), "C:\\B");
  char current[MAX_PATH + 1] = {};
  GetCurrentDirectoryA(sizeof current, current);
  EXPECT_TRUE(SameText(Expand("..\\x.exe"), ParentOf(FolderSlash(current, false)) + "\\x.exe"));
}

}  // namespace
