#include <windows.h>
#include <shlobj.h>

#include "support/Files.h"
#include "support/ShellDir.h"
#include "support/Utils.h"

namespace stub {

static_assert(CsidlPrograms == CSIDL_PROGRAMS && CsidlPersonal == CSIDL_PERSONAL && CsidlStartup == CSIDL_STARTUP &&
                  CsidlCommonStartup == CSIDL_COMMON_STARTUP &&
                  CsidlStartMenu == CSIDL_STARTMENU && CsidlDesktopDirectory == CSIDL_DESKTOPDIRECTORY &&
                  CsidlCommonStartMenu == CSIDL_COMMON_STARTMENU && CsidlCommonPrograms == CSIDL_COMMON_PROGRAMS &&
                  CsidlCommonDesktopDirectory == CSIDL_COMMON_DESKTOPDIRECTORY && CsidlAppData == CSIDL_APPDATA &&
                  CsidlLocalAppData == CSIDL_LOCAL_APPDATA && CsidlCommonAppData == CSIDL_COMMON_APPDATA &&
                  CsidlCommonDocuments == CSIDL_COMMON_DOCUMENTS,
              "the shell's folder numbers");

typedef HRESULT(WINAPI* GetFolderPathFn)(HWND, int, HANDLE, DWORD, LPSTR);
typedef BOOL(WINAPI* GetSpecialFolderPathFn)(HWND, LPSTR, int, BOOL);

// The two shell queries, bound on first use (null when the library or function is missing).
static bool g_shellLookedUp = false;
static GetFolderPathFn g_getFolderPath = nullptr;
static GetSpecialFolderPathFn g_getSpecialFolderPath = nullptr;

template <class Function>
static Function SystemProc(const char* library, const char* name) {
  HMODULE module = LoadFromSystemFolder(library);
  return module ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}

static void BindShell() {
  if (g_shellLookedUp) return;
  g_getFolderPath = SystemProc<GetFolderPathFn>("shfolder.dll", "SHGetFolderPathA");
  g_getSpecialFolderPath = SystemProc<GetSpecialFolderPathFn>("shell32.dll", "SHGetSpecialFolderPathA");
  g_shellLookedUp = true;
}

namespace {

class MachineShellFolders : public ShellFolderSource {
 public:
  std::string FolderPath(int csidl) override {
    BindShell();
    char path[MAX_PATH + 1] = {};
    if (!g_getFolderPath || g_getFolderPath(nullptr, csidl | CSIDL_FLAG_CREATE, nullptr, 0, path) != S_OK)
      return std::string();
    return path;
  }
  std::string SpecialFolderPath(int csidl) override {
    BindShell();
    char path[MAX_PATH + 1] = {};
    if (!g_getSpecialFolderPath || !g_getSpecialFolderPath(nullptr, path, csidl, FALSE)) return std::string();
    return path;
  }
  bool FolderExists(const std::string& path) override { return DirectoryExists(path); }
  std::string WindowsFolder() override { return stub::WindowsFolder(false); }
  std::string RegisteredUserName() override { return GetRegisteredOwner(); }
};

}  // namespace

std::string ShellDir(ShellFolder folder, bool withSlash) {
  MachineShellFolders machine;
  return FolderSlash(ResolveShellFolder(folder, machine), withSlash);
}

}  // namespace stub
