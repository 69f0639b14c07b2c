#include <windows.h>

#include "support/Files.h"
#include "support/RunTimeDir.h"
#include "support/Utils.h"

namespace stub {

// The file this process was started for ("/OriginExe="), read on first use; else its own.
static bool g_originRead = false;
static std::string g_originPath;

namespace {

class MachineRunTimeHost : public RunTimeHost {
 public:
  std::string LoggedUserName() override { return CurrentUserName(); }
  std::string RegisteredUserName() override { return GetRegisteredOwner(); }
  std::string RegisteredOrganization() override { return GetRegisteredOrganization(); }
  std::string ComputerName() override { return CurrentComputerName(); }
  std::string DomainName() override { return CurrentUserDomain(); }
  std::string WindowsFolder() override { return stub::WindowsFolder(false); }
  std::string SystemFolder() override { return stub::SystemFolder(false); }
  std::string TempFolder() override { return stub::TempFolder(false); }
  std::string OwnPath() override { return ExeFileName(false); }
  std::string OriginPath() override {
    if (!g_originRead) {
      g_originPath = GetParamValue("/OriginExe=");
      if (g_originPath.empty()) g_originPath = ExeFileName(false);
      g_originRead = true;
    }
    return g_originPath;
  }
  std::string SpecialFolder(ShellFolder folder) override { return ShellDir(folder, false); }
  std::string RegistryValue(const std::string& key, const std::string& name) override {
    return ReadRegString(key, name, "", RegView64Default);
  }
  bool FolderExists(const std::string& path) override { return DirectoryExists(path); }
  std::string FullPath(const std::string& path) override {
    char buffer[MAX_PATH + 1] = {};
    DWORD n = GetFullPathNameA(path.c_str(), sizeof buffer, buffer, nullptr);
    return n > 0 && n < sizeof buffer ? std::string(buffer, n) : path;
  }
  CivilTime Now() override { return LocalNow(); }
  char DateSeparator() override { return stub::DateSeparator(); }
  char TimeSeparator() override { return stub::TimeSeparator(); }
  std::string LongMonthName(int month) override {
    char name[80] = {};
    if (month < 1 || month > 12 ||
        GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SMONTHNAME1 + static_cast<LCTYPE>(month - 1), name, sizeof name) <= 1)
      return std::string();
    return name;
  }
};

}  // namespace

std::string ExpandVariables(const std::string& text, const std::string& suffix, bool resolveRelative,
                            bool withFolders, bool withUserTable) {
  MachineRunTimeHost machine;
  return ExpandVariablesWith(machine, text, suffix, resolveRelative, withFolders, withUserTable);
}

}  // namespace stub
