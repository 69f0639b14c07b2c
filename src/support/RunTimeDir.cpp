#include "support/RunTimeDir.h"

#include <iterator>

#include "support/VSUB.h"

namespace stub {

// The installation folders, as SetInstallDirs gave them.
static std::string g_installDirs[3];
// Run-time directories 1..8: "*" until resolved, then the folder (possibly empty).
static std::string g_runTimeDirs[8] = {"*", "*", "*", "*", "*", "*", "*", "*"};

void SetInstallDirs(const std::string& installDir, const std::string& commonDir, const std::string& auxDir) {
  g_installDirs[0] = installDir;
  g_installDirs[1] = commonDir;
  g_installDirs[2] = auxDir;
}

void ClearRunTimeDirCache() {
  for (std::string& dir : g_runTimeDirs) dir = "*";
}

// Letters of the Windows-1252 code page: ASCII and the accented ones from 0xC0 on.
static bool IsLetter(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  return ((u | 32) >= 'a' && (u | 32) <= 'z') || (u >= 0xC0 && u != 0xD7 && u != 0xF7);
}

std::string ReplaceFolderVariable(const std::string& text, const std::string& variable, const std::string& value,
                                  const std::string& suffix) {
  size_t at = PosText(variable, text);
  if (at == 0) return text;
  size_t after = at - 1 + variable.size();
  bool withSuffix = true;
  if (after >= text.size()) {
    withSuffix = false;
  } else {
    char next = text[after];
    // A blank ends a path in a command line; in a list such as "|<WinDir>|" the variable
    // ends its field.
    if (next == ' ' || (next == text.front() && next == text.back() && next != '<' && !IsLetter(next)))
      withSuffix = false;
  }
  return ReplaceTextCI(text, variable, withSuffix ? value + suffix : value);
}

std::string CollapseDoubledBackslashes(const std::string& text) {
  if (text.size() <= 2) return text;
  const char first = text.front();
  const bool delimited = text.front() == text.back();
  std::string rest = text.substr(1);
  // From the end backwards, so that deleting a character leaves the positions still to be
  // looked at in place. The last pair of the text is never looked at. Single-byte code pages
  // only, as FolderSlash: a backslash is never the second byte of a character.
  for (size_t p = rest.size() - 2; p >= 2; --p) {
    if (rest[p - 1] != '\\' || rest[p] != '\\') continue;
    if (delimited && rest[p - 2] == first) continue;
    rest.erase(p - 1, 1);
  }
  // The pair right after the first character follows the same rule: in a list it opens a
  // field, and a network path there keeps its two backslashes.
  if (rest.compare(0, 2, "\\\\") == 0 && !delimited) rest.erase(0, 1);
  return first + rest;
}

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
static int64_t DaysFromCivil(int64_t year, int month, int day) {
  year -= month <= 2;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t yearOfEra = year - era * 400;
  const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

std::string DateVariableText(char form, const CivilTime& now, char dateSeparator, char timeSeparator,
                             const std::string& longMonthName) {
  const int y = now.year, m = now.month, d = now.day, yy = now.year % 100;
  switch (form) {
    case '#': return ZeroPad(d, 2) + dateSeparator + longMonthName + dateSeparator + ZeroPad(y, 4);
    case '0': return IntText(DaysFromCivil(y, m, d) - DaysFromCivil(2000, 1, 1));
    case '1': return Format("%02d-%02d-%02d", d, m, yy);
    case '2': return Format("%02d-%02d-%02d", m, d, yy);
    case '3': return Format("%02d-%02d-%02d", yy, m, d);
    case '4': return Format("%02d-%02d-%04d", d, m, y);
    case '5': return Format("%02d-%02d-%04d", m, d, y);
    case '6': return Format("%04d-%02d-%02d", y, m, d);
    case '7':
      return Format("%04d-%02d-%02d %02d%c%02d%c%02d", y, m, d, now.hour, timeSeparator, now.minute, timeSeparator,
                    now.second);
  }
  return std::string();
}

namespace {

bool HoldsRelativePart(const std::string& path) {
  return path.find("\\..") != std::string::npos || path.find("..\\") != std::string::npos;
}

std::string NoSlash(const std::string& path) { return FolderSlash(path, false); }

std::string FolderOf(const std::string& path) { return NoSlash(FolderPart(path)); }

// Where a variable's value comes from.
enum Source : unsigned char {
  LoggedUser, RegisteredUser, Organization, Computer, Domain, ExitCode,
  Entered,  // + the index in kEnteredNames
  Uninstaller = Entered + 8,
  RunTimeDir,  // + 0..7
  InstallFolder = RunTimeDir + 8,  // + 0..2
  Windows = InstallFolder + 3, System, System16,
  InstallDrive, WindowsDrive, SystemDrive, OriginDrive, InstallDisk, WindowsDisk, SystemDisk, OriginDisk,
  StartMenu, ProgramFiles, CommonFiles, Fonts, OwnFolder, OriginFolder, Temp, Service,
  Shell,  // + the ShellFolder
};

struct Variable {
  const char* name;
  unsigned char source;
};

// The names the host's entered values are asked by, in the order of Entered + n.
const char* const kEnteredNames[] = {"UserName", "CompanyName", "EnteredStartProgramMenu", "VendorCompanyName",
                                     "ProjectName", "ProgramDescriptiveName", "ProgramVersion", "SelectedLanguage"};

// Each table is one step; the order of the steps and of the variables within them decides
// the result where variables overlap.
const Variable kNames[] = {
    {"<LoggedUserName>", LoggedUser}, {"<UserName>", RegisteredUser}, {"<CompanyName>", Organization},
    {"<ComputerName>", Computer}, {"<CurrentDomainName>", Domain}, {"<LastExecutableExitCode>", ExitCode},
    {"<EnteredUserName>", Entered + 0}, {"<EnteredCompanyName>", Entered + 1},
    {"<EnteredStartProgramMenu>", Entered + 2}, {"<VendorCompanyName>", Entered + 3},
    {"<ProjectName>", Entered + 4}, {"<ProgramDescriptiveName>", Entered + 5},
    {"<ProgramVersion>", Entered + 6}, {"<SelectedLanguage>", Entered + 7},
};
const Variable kUninstaller[] = {{"<UnInstallExePath>", Uninstaller}};
// Folders that make a text absolute: none of the installation folders goes in front then.
const Variable kAbsoluteFolders[] = {
    {"<Application Folder>", InstallFolder + 0}, {"<Common Folder>", InstallFolder + 1},
    {"<Auxiliary Folder>", InstallFolder + 2}, {"<Windows Directory>", Windows},
    {"<System Directory>", System}, {"<System16 Directory>", System16},
};
const Variable kInstallFolders[] = {
    {"<InstallDir>", InstallFolder + 0}, {"<InstallCommonDir>", InstallFolder + 1},
    {"<InstallAuxDir>", InstallFolder + 2},
};
const Variable kWindowsFolders[] = {
    {"<WinDir>", Windows}, {"<WinSysDir>", System}, {"<WinSys32Dir>", System}, {"<WinSys16Dir>", System16},
};
const Variable kDrives[] = {
    {"<InstallDrive>", InstallDrive}, {"<WinDrive>", WindowsDrive}, {"<WinSysDrive>", SystemDrive},
    {"<OriginDrive>", OriginDrive}, {"<InstallDisk>", InstallDisk}, {"<WinDisk>", WindowsDisk},
    {"<WinSysDisk>", SystemDisk}, {"<OriginDisk>", OriginDisk},
};
const Variable kOtherFolders[] = {
    {"<StartMenuDir>", StartMenu}, {"<ProgramFilesDir>", ProgramFiles}, {"<CommonFilesDir>", CommonFiles},
    {"<FontDir>", Fonts}, {"<SrcDir>", OwnFolder}, {"<OriginDir>", OriginFolder}, {"<TempDir>", Temp},
    {"<ServiceDir>", Service},
    {"<UserDir>", Shell + static_cast<int>(ShellFolder::UserDir)},
    {"<UserAppDataDir>", Shell + static_cast<int>(ShellFolder::UserAppDataDir)},
    {"<UserLocalAppDataDir>", Shell + static_cast<int>(ShellFolder::UserLocalAppDataDir)},
    {"<MyDocumentsDir>", Shell + static_cast<int>(ShellFolder::MyDocumentsDir)},
    {"<UserStartMenuDir>", Shell + static_cast<int>(ShellFolder::UserStartMenuDir)},
    {"<UserStartProgramMenuDir>", Shell + static_cast<int>(ShellFolder::UserStartProgramMenuDir)},
    {"<UserDesktopDir>", Shell + static_cast<int>(ShellFolder::UserDesktopDir)},
    {"<DocumentsAndSettingsDir>", Shell + static_cast<int>(ShellFolder::DocumentsAndSettingsDir)},
    {"<AllUsersDir>", Shell + static_cast<int>(ShellFolder::AllUsersDir)},
    {"<AllUsersAppDataDir>", Shell + static_cast<int>(ShellFolder::AllUsersAppDataDir)},
    {"<AllUsersDocumentsDir>", Shell + static_cast<int>(ShellFolder::AllUsersDocumentsDir)},
    {"<AllUsersStartMenuDir>", Shell + static_cast<int>(ShellFolder::AllUsersStartMenuDir)},
    {"<AllUsersStartProgramMenuDir>", Shell + static_cast<int>(ShellFolder::AllUsersStartProgramMenuDir)},
    {"<AllUsersDesktopDir>", Shell + static_cast<int>(ShellFolder::AllUsersDesktopDir)},
};

const char kCurrentVersionKey[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
const char kShellFoldersKey[] =
    "HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

// One expansion: the text as it stands, and the steps that rewrite it.
class Expansion {
 public:
  Expansion(RunTimeHost& host, const std::string& text, const std::string& suffix)
      : host_(host), text_(text), suffix_(suffix) {}

  const std::string& text() const { return text_; }

  // Values are asked from the host only for a variable the text holds.
  void Folders(const Variable* table, size_t count) {
    for (const Variable* v = table; v < table + count; ++v)
      if (PosText(v->name, text_)) text_ = ReplaceFolderVariable(text_, v->name, ValueOf(v->source), suffix_);
  }
  void Values(const Variable* table, size_t count) {
    for (const Variable* v = table; v < table + count; ++v)
      if (PosText(v->name, text_)) text_ = ReplaceTextCI(text_, v->name, ValueOf(v->source));
  }
  void Remove(const char* variable) { text_ = ReplaceTextCI(text_, variable, ""); }

  void RunTimeDirs() {
    if (!PosText("<RunTimeDir_", text_)) return;
    for (int n = 0; n < 8; ++n) {
      const std::string name = Format("<RunTimeDir_%d>", n + 1);
      if (PosText(name, text_)) text_ = ReplaceFolderVariable(text_, name, ValueOf(RunTimeDir + n), suffix_);
    }
  }

  void UserTable() {
    const std::string table = host_.UserVariables();
    if (table.empty()) return;
    size_t from = 0;
    for (;;) {
      size_t open = text_.find('<', from);
      if (open == std::string::npos) return;
      size_t close = text_.find('>', open);
      if (close == std::string::npos) return;
      const std::string name = text_.substr(open, close - open + 1);
      // An unknown name stays; the search goes on from its next character.
      const std::string value = SubValue(table, name, name, "");
      if (value == name) {
        from = open + 1;
        continue;
      }
      text_.replace(open, name.size(), value);
      from = open + value.size();
    }
  }

  void Date() {
    size_t at = PosText("<Date=", text_);
    if (at == 0) return;
    size_t form = at - 1 + 6;
    if (form + 1 >= text_.size() || text_[form + 1] != '>') return;
    const char n = text_[form];
    if (n != '#' && (n < '0' || n > '7')) return;
    const CivilTime now = host_.Now();
    const std::string month = n == '#' ? host_.LongMonthName(now.month) : std::string();
    text_.replace(at - 1, 8, DateVariableText(n, now, host_.DateSeparator(), host_.TimeSeparator(), month));
  }

 private:
  std::string ValueOf(int source) {
    if (source >= Shell) return NoSlash(host_.SpecialFolder(static_cast<ShellFolder>(source - Shell)));
    if (source >= Entered && source < Uninstaller) return host_.EnteredValue(kEnteredNames[source - Entered]);
    if (source >= RunTimeDir && source < InstallFolder) {
      std::string& cached = g_runTimeDirs[source - RunTimeDir];
      if (cached == "*") cached = host_.ResolveRunTimeDir(source - RunTimeDir + 1);
      return cached;
    }
    if (source >= InstallFolder && source < Windows) return g_installDirs[source - InstallFolder];
    switch (source) {
      case LoggedUser: return Trim(host_.LoggedUserName());
      case RegisteredUser: return Trim(host_.RegisteredUserName());
      case Organization: return Trim(host_.RegisteredOrganization());
      case Computer: return Trim(host_.ComputerName());
      case Domain: return host_.DomainName();
      case ExitCode: return IntText(host_.LastExecutableExitCode());
      case Uninstaller: return host_.EnteredValue("UnInstallExePath");
      case Windows: return NoSlash(host_.WindowsFolder());
      case System: return NoSlash(host_.SystemFolder());
      case System16: return System16Folder();
      case InstallDrive: return g_installDirs[0].substr(0, 3);
      case WindowsDrive: return ValueOf(Windows).substr(0, 3);
      case SystemDrive: return ValueOf(System).substr(0, 3);
      case OriginDrive: return ValueOf(OriginFolder).substr(0, 3);
      case InstallDisk: return g_installDirs[0].substr(0, 2);
      case WindowsDisk: return ValueOf(Windows).substr(0, 2);
      case SystemDisk: return ValueOf(System).substr(0, 2);
      case OriginDisk: return ValueOf(OriginFolder).substr(0, 2);
      case StartMenu: return host_.RegistryValue(kShellFoldersKey, "Start Menu");
      case ProgramFiles: return host_.RegistryValue(kCurrentVersionKey, "ProgramFilesDir");
      case CommonFiles: return host_.RegistryValue(kCurrentVersionKey, "CommonFilesDir");
      case Fonts: {
        std::string fonts = host_.RegistryValue(kShellFoldersKey, "Fonts");
        return !fonts.empty() && host_.FolderExists(fonts) ? fonts : ValueOf(Windows) + "\\Fonts";
      }
      case OwnFolder: return FolderOf(host_.OwnPath());
      case OriginFolder: {
        std::string folder = FolderOf(host_.OriginPath());
        return folder.empty() ? ValueOf(OwnFolder) : folder;
      }
      case Temp: return NoSlash(host_.TempFolder());
      case Service: return ServiceFolder();
    }
    return std::string();
  }

  // "C:\Windows\System32" without "32" when that folder is there, else "C:\Windows\System",
  // else the system folder itself.
  std::string System16Folder() {
    const std::string system = ValueOf(System), old = ValueOf(Windows) + "\\System";
    size_t at = LastPos("32", system);
    if (at) {
      std::string without = system.substr(0, at - 1) + system.substr(at + 1);
      if (host_.FolderExists(without)) return without;
    }
    return host_.FolderExists(old) ? old : system;
  }

  // The folder of the first listed service program that the text names, else the own folder.
  std::string ServiceFolder() {
    const std::string list = host_.ServicePaths();
    if (list.size() > 2) {
      for (int i = 0, n = SubCount(list); i < n; ++i) {
        std::string path = ReplaceText(SubGet(list, i, ""), "\\\\", "\\");
        if (!path.empty() && PosText(path, text_)) return FolderOf(path);
      }
    }
    return ValueOf(OwnFolder);
  }

  RunTimeHost& host_;
  std::string text_;
  std::string suffix_;
};

std::string MadeAbsolute(RunTimeHost& host, const std::string& text) {
  if (!text.empty() && (text[0] == ',' || text[0] == '|')) {
    const char delimiter = text[0];
    std::string out;
    size_t from = 0;
    for (;;) {
      size_t end = text.find(delimiter, from);
      std::string field = text.substr(from, end == std::string::npos ? std::string::npos : end - from);
      out += HoldsRelativePart(field) ? host.FullPath(field) : field;
      if (end == std::string::npos) return out;
      out += delimiter;
      from = end + 1;
    }
  }
  return HoldsRelativePart(text) ? host.FullPath(text) : text;
}

}  // namespace

std::string ExpandVariablesWith(RunTimeHost& host, const std::string& text, const std::string& suffix,
                                bool resolveRelative, bool withFolders, bool withUserTable) {
  std::string result = text;
  if (text.find('<') != std::string::npos) {
    Expansion x(host, text, suffix);
    if (withUserTable) x.UserTable();
    x.Date();
    x.Values(kNames, std::size(kNames));
    result = x.text();
    if (withFolders) {
      const std::string checkpoint = x.text();
      x.Folders(kUninstaller, 1);
      x.RunTimeDirs();
      x.Folders(kAbsoluteFolders, std::size(kAbsoluteFolders));
      // A text that already received an absolute folder gets no installation folder in front.
      if (x.text() != checkpoint)
        for (const Variable& v : kInstallFolders) x.Remove(v.name);
      x.Remove("<AbsoluteDir>");
      x.Folders(kInstallFolders, std::size(kInstallFolders));
      x.Remove("<AbsoluteDir>");
      x.Folders(kWindowsFolders, std::size(kWindowsFolders));
      x.Values(kDrives, std::size(kDrives));
      x.Folders(kOtherFolders, std::size(kOtherFolders));
      if (x.text() != checkpoint) result = CollapseDoubledBackslashes(x.text());
    }
  }
  return resolveRelative ? MadeAbsolute(host, result) : result;
}

}  // namespace stub
