// Run-time variables over a made-up machine: every variable, the suffix rule, the rule that
// keeps an installation folder out of a text that already holds an absolute folder, the
// collapsing of doubled backslashes, dates on a fixed clock and relative parts; and the
// chains of fallbacks behind the special folders.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "support/RunTimeDir.h"
#include "support/ShellDir.h"

using namespace stub;

namespace {

// Resolves "." and ".." the way the system's full-path expansion does; a relative path is
// taken from C:\Work.
std::string Normalised(const std::string& path) {
  std::string p = path.size() > 1 && path[1] == ':' ? path : "C:\\Work\\" + path;
  std::vector<std::string> parts;
  size_t from = 0;
  for (;;) {
    size_t end = p.find('\\', from);
    std::string part = p.substr(from, end == std::string::npos ? std::string::npos : end - from);
    if (part == "..") {
      if (parts.size() > 1) parts.pop_back();
    } else if (part != "." && !part.empty()) {
      parts.push_back(part);
    }
    if (end == std::string::npos) break;
    from = end + 1;
  }
  std::string out;
  for (size_t i = 0; i < parts.size(); ++i) out += (i ? "\\" : "") + parts[i];
  return parts.size() == 1 ? out + "\\" : out;
}

class FakeMachine : public RunTimeHost {
 public:
  std::string LoggedUserName() override { return " ann "; }
  std::string RegisteredUserName() override { return " Ann Smith"; }
  std::string RegisteredOrganization() override { return "Acme Ltd  "; }
  std::string ComputerName() override { return "PC1"; }
  std::string DomainName() override { return "OFFICE"; }
  std::string WindowsFolder() override { return windows; }
  std::string SystemFolder() override { return "C:\\WINDOWS\\system32"; }
  std::string TempFolder() override { return "C:\\Temp\\"; }
  std::string OwnPath() override { return "D:\\Apps\\Agent\\X_Agent.exe"; }
  std::string OriginPath() override { return origin; }
  std::string SpecialFolder(ShellFolder folder) override { return special[folder]; }
  std::string RegistryValue(const std::string& key, const std::string& name) override {
    return registry[key.substr(key.rfind('\\') + 1) + "|" + name];
  }
  bool FolderExists(const std::string& path) override { return folders.count(path) != 0; }
  std::string FullPath(const std::string& path) override { return Normalised(path); }
  CivilTime Now() override { return now; }
  char DateSeparator() override { return '.'; }
  char TimeSeparator() override { return '.'; }
  std::string LongMonthName(int month) override { return month == 3 ? "March" : "Month" + std::to_string(month); }
  std::string EnteredValue(const std::string& name) override { return entered[name]; }
  int64_t LastExecutableExitCode() override { return exitCode; }
  std::string UserVariables() override { return userTable; }
  std::string ServicePaths() override { return services; }
  std::string ResolveRunTimeDir(int number) override {
    ++resolved;
    return number == 3 ? "E:\\Data" : "";
  }

  std::string windows = "C:\\WINDOWS\\";
  std::string origin;
  std::map<ShellFolder, std::string> special = {
      {ShellFolder::UserDir, "C:\\Users\\ann"},
      {ShellFolder::UserAppDataDir, "C:\\Users\\ann\\AppData\\Roaming\\"},
      {ShellFolder::UserLocalAppDataDir, "C:\\Users\\ann\\AppData\\Local"},
      {ShellFolder::MyDocumentsDir, "C:\\Users\\ann\\Documents"},
      {ShellFolder::UserStartMenuDir, "C:\\Users\\ann\\Start Menu"},
      {ShellFolder::UserStartProgramMenuDir, "C:\\Users\\ann\\Start Menu\\Programs"},
      {ShellFolder::UserDesktopDir, "C:\\Users\\ann\\Desktop"},
      {ShellFolder::DocumentsAndSettingsDir, "C:\\Users"},
      {ShellFolder::AllUsersDir, "C:\\ProgramData"},
      {ShellFolder::AllUsersAppDataDir, "C:\\ProgramData\\AppData"},
      {ShellFolder::AllUsersDocumentsDir, "C:\\Users\\Public\\Documents"},
      {ShellFolder::AllUsersStartMenuDir, "C:\\ProgramData\\Start Menu"},
      {ShellFolder::AllUsersStartProgramMenuDir, "C:\\ProgramData\\Start Menu\\Programs"},
      {ShellFolder::AllUsersDesktopDir, "C:\\Users\\Public\\Desktop"},
  };
  std::map<std::string, std::string> registry = {
      {"Shell Folders|Start Menu", "C:\\Menu\\"},
      {"CurrentVersion|ProgramFilesDir", "C:\\Program Files"},
      {"CurrentVersion|CommonFilesDir", "C:\\Program Files\\Common Files"},
      {"Shell Folders|Fonts", "C:\\MyFonts"},
  };
  std::set<std::string> folders = {"C:\\WINDOWS\\system", "C:\\MyFonts"};
  std::map<std::string, std::string> entered;
  int64_t exitCode = 0;
  std::string userTable, services;
  CivilTime now;
  int resolved = 0;
};

struct Case {
  const char* text;
  const char* expected;
};

class RunTimeDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetInstallDirs("C:\\Apps\\X", "C:\\Apps\\Common", "C:\\Apps\\Aux");
    ClearRunTimeDirCache();
    machine.now.year = 2024;
    machine.now.month = 3;
    machine.now.day = 5;
    machine.now.hour = 14;
    machine.now.minute = 7;
    machine.now.second = 9;
  }
  void TearDown() override { SetInstallDirs("", "", ""); }

  // As the agent calls it: suffix "\", everything on.
  std::string Expand(const std::string& text) { return ExpandVariablesWith(machine, text, "\\", true, true, true); }
  void ExpectAll(const std::vector<Case>& cases) {
    for (const Case& c : cases) EXPECT_EQ(Expand(c.text), c.expected) << c.text;
  }

  FakeMachine machine;
};

TEST_F(RunTimeDirTest, SuffixRule) {
  ExpectAll({
      {"<InstallDir>Prog.exe", "C:\\Apps\\X\\Prog.exe"},
      {"<InstallDir>", "C:\\Apps\\X"},
      {"<InstallDir> /S", "C:\\Apps\\X /S"},
      {"<installdir>Prog.exe", "C:\\Apps\\X\\Prog.exe"},
      {"<InstallDir>\\Prog.exe", "C:\\Apps\\X\\Prog.exe"},
      // In a delimited list each variable ends its field.
      {"|<WinDir>|<TempDir>|", "|C:\\WINDOWS|C:\\Temp|"},
      {",<WinDir>,", ",C:\\WINDOWS,"},
      {"|<WinDir>|x", "|C:\\WINDOWS\\|x"},  // not a list: the text does not end with "|"
      // A letter or "<" after the variable is never a delimiter, even when the text starts
      // and ends with it.
      {"x<WinDir>x", "xC:\\WINDOWS\\x"},
      {"<<WinDir><", "<C:\\WINDOWS\\<"},
      // The first occurrence decides for all of them.
      {"<WinDir>a;<WINDIR>b", "C:\\WINDOWS\\a;C:\\WINDOWS\\b"},
      {"<WinDir> <WinDir>x", "C:\\WINDOWS C:\\WINDOWSx"},
  });
  EXPECT_EQ(ExpandVariablesWith(machine, "<InstallDir>Prog.exe", "", true, true, true), "C:\\Apps\\XProg.exe");
  EXPECT_EQ(ReplaceFolderVariable("a<V>b", "<V>", "1", "/"), "a1/b");
  EXPECT_EQ(ReplaceFolderVariable("a<W>b", "<V>", "1", "/"), "a<W>b");
}

TEST_F(RunTimeDirTest, EveryVariable) {
  machine.entered = {{"UserName", "Entered Ann"}, {"CompanyName", "Entered Co"},
                     {"EnteredStartProgramMenu", "Acme\\Viewer"}, {"VendorCompanyName", "Acme"},
                     {"ProjectName", "Viewer"}, {"ProgramDescriptiveName", "Acme Viewer"},
                     {"ProgramVersion", "2.1"}, {"SelectedLanguage", "German"},
                     {"UnInstallExePath", "C:\\Apps\\X\\uninst.exe"}};
  machine.exitCode = -3;
  ExpectAll({
      // User and machine values, trimmed, never with a suffix.
      {"<LoggedUserName>x", "annx"},
      {"<UserName>x", "Ann Smithx"},
      {"<CompanyName>x", "Acme Ltdx"},
      {"<ComputerName>x", "PC1x"},
      {"<CurrentDomainName>x", "OFFICEx"},
      {"<LastExecutableExitCode>x", "-3x"},
      {"<EnteredUserName>|<EnteredCompanyName>|<EnteredStartProgramMenu>", "Entered Ann|Entered Co|Acme\\Viewer"},
      {"<VendorCompanyName> <ProjectName> <ProgramDescriptiveName> <ProgramVersion> <SelectedLanguage>",
       "Acme Viewer Acme Viewer 2.1 German"},
      // Folders.
      {"<UnInstallExePath>", "C:\\Apps\\X\\uninst.exe"},
      {"<Application Folder>a", "C:\\Apps\\X\\a"},
      {"<Common Folder>a", "C:\\Apps\\Common\\a"},
      {"<Auxiliary Folder>a", "C:\\Apps\\Aux\\a"},
      {"<InstallCommonDir>a", "C:\\Apps\\Common\\a"},
      {"<InstallAuxDir>a", "C:\\Apps\\Aux\\a"},
      {"<Windows Directory>a", "C:\\WINDOWS\\a"},
      {"<System Directory>a", "C:\\WINDOWS\\system32\\a"},
      {"<WinSysDir>a", "C:\\WINDOWS\\system32\\a"},
      {"<WinSys32Dir>a", "C:\\WINDOWS\\system32\\a"},
      {"<System16 Directory>a", "C:\\WINDOWS\\system\\a"},
      {"<WinSys16Dir>a", "C:\\WINDOWS\\system\\a"},
      {"<StartMenuDir>a", "C:\\Menu\\a"},  // a registry value keeps its backslash; the pair collapses
      {"<ProgramFilesDir>Acme", "C:\\Program Files\\Acme"},
      {"<CommonFilesDir>Acme", "C:\\Program Files\\Common Files\\Acme"},
      {"<FontDir>a.ttf", "C:\\MyFonts\\a.ttf"},
      {"<SrcDir>a.ini", "D:\\Apps\\Agent\\a.ini"},
      {"<OriginDir>a.ini", "D:\\Apps\\Agent\\a.ini"},  // no origin: the own folder
      {"<TempDir>a", "C:\\Temp\\a"},
      {"<ServiceDir>a", "D:\\Apps\\Agent\\a"},
      {"<UserDir>a", "C:\\Users\\ann\\a"},
      {"<UserAppDataDir>a", "C:\\Users\\ann\\AppData\\Roaming\\a"},
      {"<UserLocalAppDataDir>a", "C:\\Users\\ann\\AppData\\Local\\a"},
      {"<MyDocumentsDir>a", "C:\\Users\\ann\\Documents\\a"},
      {"<UserStartMenuDir>a", "C:\\Users\\ann\\Start Menu\\a"},
      {"<UserStartProgramMenuDir>a", "C:\\Users\\ann\\Start Menu\\Programs\\a"},
      {"<UserDesktopDir>a", "C:\\Users\\ann\\Desktop\\a"},
      {"<DocumentsAndSettingsDir>a", "C:\\Users\\a"},
      {"<AllUsersDir>a", "C:\\ProgramData\\a"},
      {"<AllUsersAppDataDir>a", "C:\\ProgramData\\AppData\\a"},
      {"<AllUsersDocumentsDir>a", "C:\\Users\\Public\\Documents\\a"},
      {"<AllUsersStartMenuDir>a", "C:\\ProgramData\\Start Menu\\a"},
      {"<AllUsersStartProgramMenuDir>a", "C:\\ProgramData\\Start Menu\\Programs\\a"},
      {"<AllUsersDesktopDir>a", "C:\\Users\\Public\\Desktop\\a"},
      // Drives and disks: the first three or two characters, never with a suffix.
      {"<InstallDrive>a", "C:\\a"},
      {"<WinDrive>|<WinSysDrive>|<OriginDrive>", "C:\\|C:\\|D:\\"},
      {"<InstallDisk>a <WinDisk>b <WinSysDisk>c <OriginDisk>d", "C:a C:b C:c D:d"},
      // Unknown variables and the host's empty run-time directories.
      {"<Nothing>x", "<Nothing>x"},
      {"<RunTimeDir_1>a", "\\a"},
  });
}

TEST_F(RunTimeDirTest, AbsoluteFolderKeepsTheInstallationFolderOut) {
  ExpectAll({
      {"<Windows Directory><InstallDir>x.exe", "C:\\WINDOWS\\x.exe"},
      {"<Application Folder><InstallAuxDir>x.exe", "C:\\Apps\\X\\x.exe"},
      // "<WinDir>" is replaced only after the installation folders.
      {"<WinDir><InstallDir>x.exe", "C:\\WINDOWS\\C:\\Apps\\X\\x.exe"},
      {"<AbsoluteDir>C:\\Tools\\t.exe", "C:\\Tools\\t.exe"},
      {"<InstallDir><AbsoluteDir>t.exe", "C:\\Apps\\X\\t.exe"},
  });
}

TEST_F(RunTimeDirTest, OriginAndSystem16Folders) {
  machine.origin = "E:\\Setup\\Setup.exe";
  EXPECT_EQ(Expand("|<OriginDir>|<OriginDrive>|<SrcDir>|"), "|E:\\Setup|E:\\|D:\\Apps\\Agent|");
  machine.folders = {"C:\\WINDOWS\\System"};
  EXPECT_EQ(Expand("<WinSys16Dir>"), "C:\\WINDOWS\\System");
  machine.folders.clear();
  EXPECT_EQ(Expand("<WinSys16Dir>"), "C:\\WINDOWS\\system32");
  // A missing fonts folder falls back under Windows; the registry folder must exist.
  EXPECT_EQ(Expand("<FontDir>"), "C:\\WINDOWS\\Fonts");
  // A trailing backslash comes off a folder longer than two characters: "C:\" gives "C:".
  machine.windows = "C:\\";
  EXPECT_EQ(Expand("<WinDir>x|<WinDrive>"), "C:\\x|C:");
}

TEST_F(RunTimeDirTest, CollapsingDoubledBackslashes) {
  struct {
    const char* text;
    const char* expected;
  } cases[] = {
      {"C:\\\\a\\\\b", "C:\\a\\b"},
      {"C:\\a\\\\\\b", "C:\\a\\b"},
      {"\\\\server\\share\\\\x", "\\\\server\\share\\x"},   // a network path keeps its pair
      {"\\\\\\server", "\\\\server"},                       // three become two
      {"C:\\a\\\\", "C:\\a\\\\"},                           // a pair that ends the text stays
      // In a list a pair right after the delimiter stays, in the first field too.
      {"|\\\\srv\\x|\\\\srv\\\\y|", "|\\\\srv\\x|\\\\srv\\y|"},
      {"\\\\", "\\\\"},
      {"a\\\\", "a\\"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(CollapseDoubledBackslashes(c.text), c.expected) << c.text;
  // Only a text that a folder variable changed is collapsed.
  ExpectAll({
      {"<Nothing>C:\\\\a", "<Nothing>C:\\\\a"},
      {"<UserName>C:\\\\a", "Ann SmithC:\\\\a"},
      {"<WinDir>\\\\x\\\\y", "C:\\WINDOWS\\x\\y"},
  });
}

TEST_F(RunTimeDirTest, Dates) {
  ExpectAll({
      {"<Date=#>", "05.March.2024"},
      {"<Date=0>", "8830"},
      {"<Date=1>", "05-03-24"},
      {"<Date=2>", "03-05-24"},
      {"<Date=3>", "24-03-05"},
      {"<Date=4>", "05-03-2024"},
      {"<Date=5>", "03-05-2024"},
      {"<Date=6>", "2024-03-05"},
      {"<Date=7>", "2024-03-05 14.07.09"},
      {"log <date=6>.txt", "log 2024-03-05.txt"},
      // Only the first one counts; other forms and unclosed ones stay as they are.
      {"<Date=6>/<Date=1>", "2024-03-05/<Date=1>"},
      {"<Date=9>", "<Date=9>"},
      {"<Date=9><Date=6>", "<Date=9><Date=6>"},
      {"<Date=6", "<Date=6"},
      {"<Date=>", "<Date=>"},
      {"<Date=66>", "<Date=66>"},
  });
  machine.now = CivilTime();
  machine.now.year = 1999;
  machine.now.month = 12;
  machine.now.day = 31;
  EXPECT_EQ(Expand("<Date=0>"), "-1");
  machine.now.year = 2000;
  machine.now.month = 1;
  machine.now.day = 1;
  EXPECT_EQ(Expand("<Date=0>|<Date=#>"), "0|<Date=#>");
}

TEST_F(RunTimeDirTest, RelativeParts) {
  ExpectAll({
      {"C:\\A\\..\\B", "C:\\B"},  // a text without "<" only gets this step
      {"<InstallDir>..\\Y\\y.exe", "C:\\Apps\\Y\\y.exe"},
      {"|C:\\A\\..\\B|D:\\keep\\.|..\\rel|", "|C:\\B|D:\\keep\\.|C:\\rel|"},
      {",C:\\A\\..\\B,x", ",C:\\B,x"},
      {"C:\\A..B", "C:\\A..B"},
  });
  EXPECT_EQ(ExpandVariablesWith(machine, "C:\\A\\..\\B", "\\", false, true, true), "C:\\A\\..\\B");
}

TEST_F(RunTimeDirTest, FlagsAndHostTables) {
  // Without folders only the user and machine values change.
  EXPECT_EQ(ExpandVariablesWith(machine, "<WinDir>x <UserName>", "\\", true, false, true), "<WinDir>x Ann Smith");

  // The host's own variables come first, so their values may hold variables themselves.
  machine.userTable = "|<Product>=Acme Viewer|<Home>=<InstallDir>| <Empty> =|";
  EXPECT_EQ(Expand("<Product> <Empty>x <Other> <Home>bin"), "Acme Viewer x <Other> C:\\Apps\\X\\bin");
  EXPECT_EQ(ExpandVariablesWith(machine, "<Product>", "\\", true, true, false), "<Product>");
  EXPECT_EQ(Expand("<<Product>>"), "<Acme Viewer>");

  // "<ServiceDir>": the folder of the first listed service that the text names.
  machine.services = "|C:\\Other\\a.exe|D:\\Svc\\\\b.exe|";
  EXPECT_EQ(Expand("<ServiceDir>b.exe /for D:\\Svc\\b.exe"), "D:\\Svc\\b.exe /for D:\\Svc\\b.exe");
  EXPECT_EQ(Expand("<ServiceDir>c.exe"), "D:\\Apps\\Agent\\c.exe");

  // A run-time directory is resolved once per process.
  EXPECT_EQ(Expand("<RunTimeDir_3>a|<RunTimeDir_3>b"), "E:\\Data\\a|E:\\Data\\b");
  EXPECT_EQ(Expand("<RunTimeDir_3>c <RunTimeDir_1>"), "E:\\Data\\c ");
  EXPECT_EQ(machine.resolved, 2);

  // Before SetInstallDirs the installation folders are empty.
  SetInstallDirs("", "", "");
  EXPECT_EQ(Expand("<InstallDir>Prog.exe"), "\\Prog.exe");
}

// ---------------------------------------------------------------------------------------
// Special folders

class FakeShell : public ShellFolderSource {
 public:
  std::string FolderPath(int csidl) override { return paths[csidl]; }
  std::string SpecialFolderPath(int csidl) override { return specials[csidl]; }
  bool FolderExists(const std::string& path) override { return folders.count(path) != 0; }
  std::string WindowsFolder() override { return "C:\\WINDOWS\\"; }
  std::string RegisteredUserName() override { return "Ann"; }

  std::map<int, std::string> paths, specials;
  std::set<std::string> folders;
};

struct Expect {
  ShellFolder folder;
  const char* path;
};

void ExpectFolders(FakeShell& shell, const std::vector<Expect>& expected) {
  for (const Expect& e : expected)
    EXPECT_EQ(ResolveShellFolder(e.folder, shell), e.path) << static_cast<int>(e.folder);
}

TEST(ShellDir, FirstSourcesAndFallbacks) {
  const std::vector<Expect> shellAnswers = {
      {ShellFolder::UserDir, "C:\\users\\ann"},
      {ShellFolder::DocumentsAndSettingsDir, "C:\\users"},
      {ShellFolder::AllUsersDir, "C:\\ProgramData"},
      {ShellFolder::UserAppDataDir, "C:\\users\\ann\\AppData\\Roaming"},
      {ShellFolder::UserLocalAppDataDir, "C:\\users\\ann\\AppData\\Local"},
      {ShellFolder::AllUsersAppDataDir, "C:\\ProgramData\\Shared"},
      {ShellFolder::MyDocumentsDir, "C:\\users\\ann\\Documents"},
      {ShellFolder::AllUsersDocumentsDir, "C:\\users\\Public\\Documents"},
      {ShellFolder::UserStartMenuDir, "C:\\users\\ann\\Start"},
      {ShellFolder::AllUsersStartMenuDir, "C:\\ProgramData\\Start"},
      {ShellFolder::UserStartProgramMenuDir, "C:\\users\\ann\\Start\\Programs"},
      {ShellFolder::AllUsersStartProgramMenuDir, "C:\\ProgramData\\Start\\Programs"},
      {ShellFolder::UserDesktopDir, "C:\\users\\ann\\Desktop"},
      {ShellFolder::AllUsersDesktopDir, "C:\\users\\Public\\Desktop"},
  };
  FakeShell shell;
  shell.paths = {{CsidlPersonal, "C:\\users\\ann\\Documents"},
                 {CsidlCommonAppData, "C:\\ProgramData\\Shared\\"},
                 {CsidlAppData, "C:\\users\\ann\\AppData\\Roaming"},
                 {CsidlLocalAppData, "C:\\users\\ann\\AppData\\Local"},
                 {CsidlCommonDocuments, "C:\\users\\Public\\Documents"}};
  shell.specials = {{CsidlStartMenu, "C:\\users\\ann\\Start"},
                    {CsidlCommonStartMenu, "C:\\ProgramData\\Start"},
                    {CsidlPrograms, "C:\\users\\ann\\Start\\Programs"},
                    {CsidlCommonPrograms, "C:\\ProgramData\\Start\\Programs"},
                    {CsidlDesktopDirectory, "C:\\users\\ann\\Desktop"},
                    {CsidlCommonDesktopDirectory, "C:\\users\\Public\\Desktop"}};
  for (const auto& p : shell.paths) shell.folders.insert(FolderSlash(p.second, false));
  for (const auto& p : shell.specials) shell.folders.insert(p.second);
  shell.folders.insert({"C:\\users\\ann", "C:\\users", "C:\\ProgramData"});
  ExpectFolders(shell, shellAnswers);

  // The shell's answer counts only when that folder exists: none does here, and no
  // profile folder either, so everything is built from the Windows folder.
  shell.folders.clear();
  const std::vector<Expect> windowsOnly = {
      {ShellFolder::UserDir, "C:\\WINDOWS"},
      {ShellFolder::DocumentsAndSettingsDir, "C:\\WINDOWS"},
      {ShellFolder::AllUsersDir, "C:\\WINDOWS"},
      {ShellFolder::UserAppDataDir, "C:\\WINDOWS\\Application Data"},
      {ShellFolder::UserLocalAppDataDir, "C:\\WINDOWS\\Application Data"},
      {ShellFolder::AllUsersAppDataDir, "C:\\WINDOWS\\Application Data"},
      {ShellFolder::MyDocumentsDir, "C:\\WINDOWS\\My Documents"},
      {ShellFolder::AllUsersDocumentsDir, "C:\\WINDOWS\\Documents"},
      {ShellFolder::UserStartMenuDir, "C:\\WINDOWS\\Start Menu"},
      {ShellFolder::AllUsersStartMenuDir, "C:\\WINDOWS\\Start Menu"},
      {ShellFolder::UserStartProgramMenuDir, "C:\\WINDOWS\\Start Menu\\Programs"},
      {ShellFolder::AllUsersStartProgramMenuDir, "C:\\WINDOWS\\Start Menu\\Programs"},
      {ShellFolder::UserDesktopDir, "C:\\WINDOWS\\Desktop"},
      {ShellFolder::AllUsersDesktopDir, "C:\\WINDOWS\\Desktop"},
  };
  ExpectFolders(shell, windowsOnly);

  // No shell at all, an old profile folder with a start menu but no desktop: the user's
  // folders come from the profile; the desktop falls through to the all-users one.
  shell.paths.clear();
  shell.specials.clear();
  shell.folders = {"C:\\WINDOWS\\Profiles\\Ann", "C:\\WINDOWS\\Profiles\\Ann\\Start Menu",
                   "C:\\WINDOWS\\Profiles\\Ann\\Start Menu\\Programs"};
  const std::vector<Expect> profile = {
      {ShellFolder::UserDir, "C:\\WINDOWS\\Profiles\\Ann"},
      {ShellFolder::DocumentsAndSettingsDir, "C:\\WINDOWS\\Profiles\\Ann"},
      {ShellFolder::UserAppDataDir, "C:\\WINDOWS\\Profiles\\Ann\\Application Data"},
      {ShellFolder::MyDocumentsDir, "C:\\WINDOWS\\Profiles\\Ann\\My Documents"},
      {ShellFolder::UserStartMenuDir, "C:\\WINDOWS\\Profiles\\Ann\\Start Menu"},
      {ShellFolder::UserStartProgramMenuDir, "C:\\WINDOWS\\Profiles\\Ann\\Start Menu\\Programs"},
      {ShellFolder::UserDesktopDir, "C:\\WINDOWS\\Desktop"},
      {ShellFolder::AllUsersDir, "C:\\WINDOWS"},
  };
  ExpectFolders(shell, profile);
}

}  // namespace
