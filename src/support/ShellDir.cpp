#include "support/ShellDir.h"

#include "support/Text.h"

namespace stub {

namespace {

std::string NoSlash(const std::string& path) { return FolderSlash(path, false); }

// "C:\Users\Ann\Documents" gives "C:\Users\Ann"; an empty path stays empty.
std::string ParentOf(const std::string& path) { return NoSlash(FolderPart(NoSlash(path))); }

class Chain {
 public:
  explicit Chain(ShellFolderSource& source) : source_(source) {}
  // Takes the candidate when nothing was taken yet and it names an existing folder.
  Chain& Try(const std::string& candidate) {
    if (!done_ && !candidate.empty() && source_.FolderExists(candidate)) Take(candidate);
    return *this;
  }
  std::string Last(const std::string& candidate) {
    if (!done_) Take(candidate);
    return result_;
  }

 private:
  void Take(const std::string& candidate) {
    result_ = NoSlash(candidate);
    done_ = true;
  }
  ShellFolderSource& source_;
  std::string result_;
  bool done_ = false;
};

// The folder of the user's own files when the shell knows none: the old profile folder
// under Windows when it is there, else the Windows folder itself.
std::string UserFallback(ShellFolderSource& source) {
  std::string windows = NoSlash(source.WindowsFolder());
  std::string profile = windows + "\\Profiles\\" + source.RegisteredUserName();
  return source.FolderExists(profile) ? profile : windows;
}

}  // namespace

std::string ResolveShellFolder(ShellFolder folder, ShellFolderSource& source) {
  Chain chain(source);
  auto path = [&source](int csidl) { return NoSlash(source.FolderPath(csidl)); };
  auto special = [&source](int csidl) { return source.SpecialFolderPath(csidl); };
  auto windows = [&source]() { return NoSlash(source.WindowsFolder()); };
  auto user = [&source]() { return ResolveShellFolder(ShellFolder::UserDir, source); };
  auto allUsers = [&source]() { return ResolveShellFolder(ShellFolder::AllUsersDir, source); };
  switch (folder) {
    case ShellFolder::UserDir:
      return chain.Try(ParentOf(path(CsidlPersonal))).Last(UserFallback(source));
    case ShellFolder::DocumentsAndSettingsDir:
      return chain.Try(ParentOf(ParentOf(path(CsidlPersonal)))).Last(UserFallback(source));
    case ShellFolder::AllUsersDir:
      return chain.Try(ParentOf(path(CsidlCommonAppData))).Last(windows());
    case ShellFolder::UserAppDataDir:
      return chain.Try(path(CsidlAppData)).Last(UserFallback(source) + "\\Application Data");
    case ShellFolder::UserLocalAppDataDir:
      return chain.Try(path(CsidlLocalAppData)).Last(UserFallback(source) + "\\Application Data");
    case ShellFolder::AllUsersAppDataDir:
      return chain.Try(path(CsidlCommonAppData)).Last(windows() + "\\Application Data");
    case ShellFolder::MyDocumentsDir:
      return chain.Try(path(CsidlPersonal)).Last(UserFallback(source) + "\\My Documents");
    case ShellFolder::AllUsersDocumentsDir:
      return chain.Try(path(CsidlCommonDocuments)).Last(windows() + "\\Documents");
    case ShellFolder::UserStartMenuDir:
      return chain.Try(special(CsidlStartMenu)).Try(user() + "\\Start Menu").Last(allUsers() + "\\Start Menu");
    case ShellFolder::AllUsersStartMenuDir:
      return chain.Try(special(CsidlCommonStartMenu)).Last(allUsers() + "\\Start Menu");
    case ShellFolder::UserStartProgramMenuDir:
      return chain.Try(special(CsidlPrograms))
          .Try(user() + "\\Start Menu\\Programs")
          .Last(allUsers() + "\\Start Menu\\Programs");
    case ShellFolder::AllUsersStartProgramMenuDir:
      return chain.Try(special(CsidlCommonPrograms)).Last(allUsers() + "\\Start Menu\\Programs");
    case ShellFolder::UserDesktopDir:
      return chain.Try(special(CsidlDesktopDirectory)).Try(user() + "\\Desktop").Last(allUsers() + "\\Desktop");
    case ShellFolder::AllUsersDesktopDir:
      return chain.Try(special(CsidlCommonDesktopDirectory)).Last(allUsers() + "\\Desktop");
    case ShellFolder::UserStartupDir:
      return chain.Try(special(CsidlStartup))
          .Last(ResolveShellFolder(ShellFolder::UserStartProgramMenuDir, source) + "\\Startup");
    case ShellFolder::AllUsersStartupDir:
      return chain.Try(special(CsidlCommonStartup))
          .Last(ResolveShellFolder(ShellFolder::AllUsersStartProgramMenuDir, source) + "\\Startup");
  }
  return std::string();
}

}  // namespace stub
