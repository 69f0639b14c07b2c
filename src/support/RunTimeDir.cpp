#include "support/RunTimeDir.h"

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
  // looked at in place. The last pair of the text is never looked at.
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
  const std::string dd = ZeroPad(now.day, 2), mm = ZeroPad(now.month, 2), yyyy = ZeroPad(now.year, 4);
  const std::string yy = ZeroPad(now.year % 100, 2);
  switch (form) {
    case '#': return dd + dateSeparator + longMonthName + dateSeparator + yyyy;
    case '0': return IntText(DaysFromCivil(now.year, now.month, now.day) - DaysFromCivil(2000, 1, 1));
    case '1': return dd + "-" + mm + "-" + yy;
    case '2': return mm + "-" + dd + "-" + yy;
    case '3': return yy + "-" + mm + "-" + dd;
    case '4': return dd + "-" + mm + "-" + yyyy;
    case '5': return mm + "-" + dd + "-" + yyyy;
    case '6': return yyyy + "-" + mm + "-" + dd;
    case '7':
      return yyyy + "-" + mm + "-" + dd + " " + ZeroPad(now.hour, 2) + timeSeparator + ZeroPad(now.minute, 2) +
             timeSeparator + ZeroPad(now.second, 2);
  }
  return std::string();
}

namespace {

bool HoldsRelativePart(const std::string& path) {
  return path.find("\\..") != std::string::npos || path.find("..\\") != std::string::npos;
}

// One expansion: the text as it stands, and the steps that rewrite it.
class Expansion {
 public:
  Expansion(RunTimeHost& host, const std::string& text, const std::string& suffix)
      : host_(host), text_(text), suffix_(suffix) {}

  const std::string& text() const { return text_; }
  void set(const std::string& text) { text_ = text; }

  // Values are asked from the host only for a variable the text holds.
  template <class Value>
  void Folder(const char* variable, Value value) {
    if (PosText(variable, text_)) text_ = ReplaceFolderVariable(text_, variable, value(), suffix_);
  }
  template <class Value>
  void Plain(const char* variable, Value value) {
    if (PosText(variable, text_)) text_ = ReplaceTextCI(text_, variable, value());
  }
  void Remove(const char* variable) { text_ = ReplaceTextCI(text_, variable, ""); }

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
    const std::string date = DateVariableText(n, now, host_.DateSeparator(), host_.TimeSeparator(), month);
    text_.replace(at - 1, 8, date);
  }

  std::string ServiceDir(const std::string& ownFolder) {
    const std::string list = host_.ServicePaths();
    if (list.size() <= 2) return ownFolder;
    for (int i = 0, n = SubCount(list); i < n; ++i) {
      std::string path = ReplaceText(SubGet(list, i, ""), "\\\\", "\\");
      if (!path.empty() && PosText(path, text_)) return FolderSlash(FolderPart(path), false);
    }
    return ownFolder;
  }

 private:
  RunTimeHost& host_;
  std::string text_;
  std::string suffix_;
};

std::string NoSlash(const std::string& path) { return FolderSlash(path, false); }

std::string FolderOf(const std::string& path) { return NoSlash(FolderPart(path)); }

// "C:\Windows\System32" without "32" when that folder is there, else "C:\Windows\System",
// else the system folder itself.
std::string System16Folder(RunTimeHost& host, const std::string& system, const std::string& windows) {
  size_t at = LastPos("32", system);
  if (at) {
    std::string without = system.substr(0, at - 1) + system.substr(at + 1);
    if (host.FolderExists(without)) return without;
  }
  if (host.FolderExists(windows + "\\System")) return windows + "\\System";
  return system;
}

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

const char* const kShellVariables[] = {
    "<UserDir>", "<UserAppDataDir>", "<UserLocalAppDataDir>", "<MyDocumentsDir>", "<UserStartMenuDir>",
    "<UserStartProgramMenuDir>", "<UserDesktopDir>", "<DocumentsAndSettingsDir>", "<AllUsersDir>",
    "<AllUsersAppDataDir>", "<AllUsersDocumentsDir>", "<AllUsersStartMenuDir>", "<AllUsersStartProgramMenuDir>",
    "<AllUsersDesktopDir>",
};
const ShellFolder kShellFolders[] = {
    ShellFolder::UserDir, ShellFolder::UserAppDataDir, ShellFolder::UserLocalAppDataDir,
    ShellFolder::MyDocumentsDir, ShellFolder::UserStartMenuDir, ShellFolder::UserStartProgramMenuDir,
    ShellFolder::UserDesktopDir, ShellFolder::DocumentsAndSettingsDir, ShellFolder::AllUsersDir,
    ShellFolder::AllUsersAppDataDir, ShellFolder::AllUsersDocumentsDir, ShellFolder::AllUsersStartMenuDir,
    ShellFolder::AllUsersStartProgramMenuDir, ShellFolder::AllUsersDesktopDir,
};

const char kCurrentVersionKey[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
const char kShellFoldersKey[] =
    "HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

void ExpandFolders(RunTimeHost& host, Expansion& x, const std::string& checkpoint) {
  auto windows = [&host]() { return NoSlash(host.WindowsFolder()); };
  auto system = [&host]() { return NoSlash(host.SystemFolder()); };
  auto system16 = [&host]() { return System16Folder(host, NoSlash(host.SystemFolder()), NoSlash(host.WindowsFolder())); };
  auto own = [&host]() { return FolderOf(host.OwnPath()); };
  auto origin = [&host]() {
    std::string folder = FolderOf(host.OriginPath());
    return folder.empty() ? FolderOf(host.OwnPath()) : folder;
  };

  x.Folder("<UnInstallExePath>", [&host]() { return host.EnteredValue("UnInstallExePath"); });
  if (PosText("<RunTimeDir_", x.text())) {
    for (int n = 1; n <= 8; ++n) {
      x.Folder(Format("<RunTimeDir_%d>", n).c_str(), [&host, n]() {
        std::string& cached = g_runTimeDirs[n - 1];
        if (cached == "*") cached = host.ResolveRunTimeDir(n);
        return cached;
      });
    }
  }
  x.Folder("<Application Folder>", []() { return g_installDirs[0]; });
  x.Folder("<Common Folder>", []() { return g_installDirs[1]; });
  x.Folder("<Auxiliary Folder>", []() { return g_installDirs[2]; });
  x.Folder("<Windows Directory>", windows);
  x.Folder("<System Directory>", system);
  x.Folder("<System16 Directory>", system16);

  // A text that already received an absolute folder gets no installation folder in front.
  if (x.text() != checkpoint) {
    x.Remove("<InstallDir>");
    x.Remove("<InstallCommonDir>");
    x.Remove("<InstallAuxDir>");
  }
  x.Remove("<AbsoluteDir>");
  x.Folder("<InstallDir>", []() { return g_installDirs[0]; });
  x.Folder("<InstallCommonDir>", []() { return g_installDirs[1]; });
  x.Folder("<InstallAuxDir>", []() { return g_installDirs[2]; });
  x.Remove("<AbsoluteDir>");

  x.Folder("<WinDir>", windows);
  x.Folder("<WinSysDir>", system);
  x.Folder("<WinSys32Dir>", system);
  x.Folder("<WinSys16Dir>", system16);

  auto head = [](std::string path, size_t n) { return path.substr(0, n); };
  x.Plain("<InstallDrive>", [&]() { return head(g_installDirs[0], 3); });
  x.Plain("<WinDrive>", [&]() { return head(windows(), 3); });
  x.Plain("<WinSysDrive>", [&]() { return head(system(), 3); });
  x.Plain("<OriginDrive>", [&]() { return head(origin(), 3); });
  x.Plain("<InstallDisk>", [&]() { return head(g_installDirs[0], 2); });
  x.Plain("<WinDisk>", [&]() { return head(windows(), 2); });
  x.Plain("<WinSysDisk>", [&]() { return head(system(), 2); });
  x.Plain("<OriginDisk>", [&]() { return head(origin(), 2); });

  x.Folder("<StartMenuDir>", [&host]() { return host.RegistryValue(kShellFoldersKey, "Start Menu"); });
  x.Folder("<ProgramFilesDir>", [&host]() { return host.RegistryValue(kCurrentVersionKey, "ProgramFilesDir"); });
  x.Folder("<CommonFilesDir>", [&host]() { return host.RegistryValue(kCurrentVersionKey, "CommonFilesDir"); });
  x.Folder("<FontDir>", [&]() {
    std::string fonts = host.RegistryValue(kShellFoldersKey, "Fonts");
    return !fonts.empty() && host.FolderExists(fonts) ? fonts : windows() + "\\Fonts";
  });
  x.Folder("<SrcDir>", own);
  x.Folder("<OriginDir>", origin);
  x.Folder("<TempDir>", [&host]() { return NoSlash(host.TempFolder()); });
  x.Folder("<ServiceDir>", [&]() { return x.ServiceDir(own()); });
  for (size_t i = 0; i < sizeof kShellFolders / sizeof kShellFolders[0]; ++i) {
    ShellFolder folder = kShellFolders[i];
    x.Folder(kShellVariables[i], [&host, folder]() { return NoSlash(host.SpecialFolder(folder)); });
  }
}

}  // namespace

std::string ExpandVariablesWith(RunTimeHost& host, const std::string& text, const std::string& suffix,
                                bool resolveRelative, bool withFolders, bool withUserTable) {
  std::string result = text;
  if (text.find('<') != std::string::npos) {
    Expansion x(host, text, suffix);
    if (withUserTable) x.UserTable();
    x.Date();
    x.Plain("<LoggedUserName>", [&host]() { return Trim(host.LoggedUserName()); });
    x.Plain("<UserName>", [&host]() { return Trim(host.RegisteredUserName()); });
    x.Plain("<CompanyName>", [&host]() { return Trim(host.RegisteredOrganization()); });
    x.Plain("<ComputerName>", [&host]() { return Trim(host.ComputerName()); });
    x.Plain("<CurrentDomainName>", [&host]() { return host.DomainName(); });
    x.Plain("<LastExecutableExitCode>", [&host]() { return IntText(host.LastExecutableExitCode()); });
    static const char* const entered[][2] = {
        {"<EnteredUserName>", "UserName"},
        {"<EnteredCompanyName>", "CompanyName"},
        {"<EnteredStartProgramMenu>", "EnteredStartProgramMenu"},
        {"<VendorCompanyName>", "VendorCompanyName"},
        {"<ProjectName>", "ProjectName"},
        {"<ProgramDescriptiveName>", "ProgramDescriptiveName"},
        {"<ProgramVersion>", "ProgramVersion"},
        {"<SelectedLanguage>", "SelectedLanguage"},
    };
    for (const auto& e : entered) {
      const char* name = e[1];
      x.Plain(e[0], [&host, name]() { return host.EnteredValue(name); });
    }
    const std::string checkpoint = x.text();
    result = checkpoint;
    if (withFolders) {
      ExpandFolders(host, x, checkpoint);
      if (x.text() != checkpoint) result = CollapseDoubledBackslashes(x.text());
    }
  }
  return resolveRelative ? MadeAbsolute(host, result) : result;
}

}  // namespace stub
