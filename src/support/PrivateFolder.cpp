#include <windows.h>

#include "support/PrivateFolder.h"

#include "support/Files.h"
#include "support/Text.h"
#include "support/Utils.h"
#include "support/VDebug.h"

namespace stub {

namespace {

// The two well-known accounts, as the system writes them: S-1-5-18 (SYSTEM) and
// S-1-5-32-544 (the administrators).
const BYTE kSystemSid[] = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};
const BYTE kAdministratorsSid[] = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 0x02, 0, 0};

// One part of this process's token (its owner, its user) in a buffer of its own.
std::vector<BYTE> TokenPart(TOKEN_INFORMATION_CLASS part) {
  std::vector<BYTE> info;
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return info;
  DWORD size = 0;
  GetTokenInformation(token, part, nullptr, 0, &size);
  if (size > 0) {
    info.resize(size);
    if (!GetTokenInformation(token, part, info.data(), size, &size)) info.clear();
  }
  CloseHandle(token);
  return info;
}

std::string WithoutSlash(const std::string& path) {
  return path.size() > 3 && path.back() == '\\' ? path.substr(0, path.size() - 1) : path;
}

class MachineFolders : public FreshFolderHost {
 public:
  MakeFolderResult MakeFolder(const std::string& path) override { return CreatePrivateFolder(path); }
  PathHolds WhatIsAt(const std::string& path) override {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
      return GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND ? PathHolds::Nothing
                                                                                              : PathHolds::Other;
    const bool folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
    return folder ? PathHolds::PlainFolder : PathHolds::Other;
  }
  bool RemoveFolder(const std::string& path) override { return DeleteTree(path, true); }
  std::string RandomNumber() override { return RandomInRangeText(10000, 100000); }
  void Log(const std::string& line) override { DebugPidLine(" " + line); }
};

}  // namespace

std::vector<BYTE> PrivateFolderAcl() {
  const std::vector<BYTE> owner = TokenPart(TokenOwner);
  const std::vector<BYTE> user = TokenPart(TokenUser);
  if (owner.empty() || user.empty()) return {};
  struct Entry {
    PSID sid;
    DWORD access;
  } entries[] = {
      {reinterpret_cast<const TOKEN_OWNER*>(owner.data())->Owner, FILE_ALL_ACCESS},
      {const_cast<BYTE*>(kAdministratorsSid), FILE_ALL_ACCESS},
      {const_cast<BYTE*>(kSystemSid), FILE_ALL_ACCESS},
      {reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid, FILE_GENERIC_READ | FILE_GENERIC_EXECUTE},
  };
  const int count = sizeof entries / sizeof entries[0];
  // Each account once: the owner of an elevated token is the administrators, and a user who
  // is the owner keeps full control.
  bool repeated[count] = {};
  DWORD size = sizeof(ACL);
  for (int i = 0; i < count; ++i) {
    if (!entries[i].sid || !IsValidSid(entries[i].sid)) return {};
    for (int j = 0; j < i; ++j) repeated[i] = repeated[i] || EqualSid(entries[i].sid, entries[j].sid);
    if (!repeated[i]) size += sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + GetLengthSid(entries[i].sid);
  }
  std::vector<BYTE> acl(size);
  PACL list = reinterpret_cast<PACL>(acl.data());
  if (!InitializeAcl(list, size, ACL_REVISION)) return {};
  for (int i = 0; i < count; ++i)
    if (!repeated[i] && !AddAccessAllowedAceEx(list, ACL_REVISION, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE,
                                               entries[i].access, entries[i].sid))
      return {};
  return acl;
}

MakeFolderResult CreatePrivateFolder(const std::string& folder) {
  std::vector<BYTE> acl = PrivateFolderAcl();
  SECURITY_DESCRIPTOR descriptor;
  // Without its list the folder would be as open as its parent: better none at all.
  if (acl.empty() || !InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
      !SetSecurityDescriptorDacl(&descriptor, TRUE, reinterpret_cast<PACL>(acl.data()), FALSE) ||
      !SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED)) {
    DebugPidLine(" No access list for a private folder: " + SysErrorText());
    return MakeFolderResult::Failed;
  }
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, &descriptor, FALSE};
  const std::string path = WithoutSlash(folder);
  if (CreateDirectoryA(path.c_str(), &attributes)) return MakeFolderResult::Created;
  const DWORD error = GetLastError();
  if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS ||
      GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES)
    return MakeFolderResult::Exists;
  return MakeFolderResult::Failed;
}

std::string MakeFreshPrivateFolder(const FreshFolderRequest& request) {
  const std::string parent = FolderPart(WithoutSlash(request.name));
  if (parent.size() > 3) ForceDirectories(parent);
  MachineFolders host;
  return MakeFreshFolder(request, host);
}

}  // namespace stub
