// The run's folders and the links planted in their way: the access list as built and as the
// folder carries it, folders made only where nothing was, and trees deleted without ever
// following a link. Wine stores access lists but does not enforce them, and makes links only
// from the Unix side: the tests check the lists themselves and plant Unix links where a
// junction cannot be made.
#include <windows.h>
#include <sddl.h>
#include <winioctl.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "support/Files.h"
#include "support/PrivateFolder.h"
#include "support/Utils.h"

using namespace stub;

namespace {

std::string SidText(PSID sid) {
  char* text = nullptr;
  if (!ConvertSidToStringSidA(sid, &text)) return "?";
  std::string result = text;
  LocalFree(text);
  return result;
}

std::string TokenSid(TOKEN_INFORMATION_CLASS part) {
  HANDLE token = nullptr;
  OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
  BYTE buffer[512];
  DWORD size = 0;
  std::string sid = "?";
  if (GetTokenInformation(token, part, buffer, sizeof buffer, &size))
    sid = SidText(part == TokenOwner ? reinterpret_cast<TOKEN_OWNER*>(buffer)->Owner
                                     : reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid);
  CloseHandle(token);
  return sid;
}

struct Entry {
  BYTE type, flags;
  DWORD mask;
};

// The entries of an access list by account.
std::map<std::string, Entry> Entries(PACL acl) {
  std::map<std::string, Entry> entries;
  for (DWORD i = 0; acl && i < acl->AceCount; ++i) {
    void* ace = nullptr;
    if (!GetAce(acl, i, &ace)) continue;
    auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
    entries[SidText(&allowed->SidStart)] = {allowed->Header.AceType, allowed->Header.AceFlags, allowed->Mask};
  }
  return entries;
}

// What the list must say: full control for the token's owner, the administrators and the
// system, read and run for the user, inherited by everything inside, and nothing else.
void ExpectPrivate(PACL acl) {
  const std::string owner = TokenSid(TokenOwner), user = TokenSid(TokenUser);
  std::map<std::string, DWORD> expected = {{"S-1-5-32-544", FILE_ALL_ACCESS}, {"S-1-5-18", FILE_ALL_ACCESS}};
  expected[user] = FILE_GENERIC_READ | FILE_GENERIC_EXECUTE;
  expected[owner] = FILE_ALL_ACCESS;  // a user who owns the token keeps full control
  const std::map<std::string, Entry> entries = Entries(acl);
  EXPECT_EQ(entries.size(), expected.size()) << "owner " << owner << ", user " << user;
  for (const auto& e : expected) {
    auto found = entries.find(e.first);
    ASSERT_NE(found, entries.end()) << e.first;
    EXPECT_EQ(found->second.type, ACCESS_ALLOWED_ACE_TYPE) << e.first;
    EXPECT_EQ(found->second.mask, e.second) << e.first;
    EXPECT_EQ(found->second.flags & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE | INHERIT_ONLY_ACE),
              OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE)
        << e.first;
  }
  for (const char* open : {"S-1-1-0", "S-1-5-11", "S-1-5-32-545"}) EXPECT_EQ(entries.count(open), 0u) << open;
}

using UnixNameFn = char*(CDECL*)(LPCWSTR);

// The Unix path of a Windows path when this runs under Wine, else "".
std::string UnixPath(const std::string& path) {
  auto unixName = reinterpret_cast<UnixNameFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  if (!unixName) return std::string();
  wchar_t wide[MAX_PATH];
  MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH);
  char* name = unixName(wide);
  if (!name) return std::string();
  std::string result = name;
  HeapFree(GetProcessHeap(), 0, name);
  return result;
}

// Wine starts Unix programs too.
bool RunUnix(std::string command) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process;
  if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return false;
  // A loaded machine can take a while to start a Unix program through Wine.
  const bool ended = WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return ended;
}

// A junction at link leading to target, as a hostile user would plant one. Windows makes it
// with the mount-point control code; Wine does not know that code, so there the link is a Unix
// symbolic link (which Wine shows as a reparse point). False when neither can be made.
bool PlantLink(const std::string& link, const std::string& target) {
  struct {
    DWORD tag;
    WORD length, reserved;
    WORD substituteOffset, substituteLength, printOffset, printLength;
    WCHAR names[2 * MAX_PATH + 8];
  } point = {};
  const std::string substitute = "\\??\\" + target;
  const int n = MultiByteToWideChar(CP_ACP, 0, substitute.c_str(), -1, point.names, MAX_PATH + 4) - 1;
  point.tag = IO_REPARSE_TAG_MOUNT_POINT;
  point.substituteLength = static_cast<WORD>(n * 2);
  point.printOffset = static_cast<WORD>((n + 1) * 2);
  point.length = static_cast<WORD>(8 + (n + 2) * 2);
  if (CreateDirectoryA(link.c_str(), nullptr)) {
    HANDLE h = CreateFileA(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    DWORD returned = 0;
    const bool made = h != INVALID_HANDLE_VALUE &&
                      DeviceIoControl(h, FSCTL_SET_REPARSE_POINT, &point, 8 + point.length, nullptr, 0, &returned,
                                      nullptr);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    if (made) return true;
    RemoveDirectoryA(link.c_str());
  }
  const std::string from = UnixPath(target), to = UnixPath(link);
  if (from.empty() || to.empty() || !RunUnix("Z:\\bin\\ln -s \"" + from + "\" \"" + to + "\"")) return false;
  for (int tries = 0; tries < 20; ++tries, Sleep(100)) {
    const DWORD attributes = GetFileAttributesA(link.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return true;
  }
  return false;
}

class PrivateFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = TempFolder(true) + "StubPrivateFolderTest_" + IntText(GetCurrentProcessId());
    DeleteTree(root_, true);
    ASSERT_TRUE(ForceDirectories(root_));
    ASSERT_TRUE(ForceDirectories(Path("elsewhere")));
    ASSERT_TRUE(SaveToFile(Path("elsewhere\\keep.txt"), "not yours", 0, false));
  }
  void TearDown() override {
    for (const std::string& link : links_) {
      RemoveDirectoryA(link.c_str());
      const std::string unix = UnixPath(link);
      if (!unix.empty()) RunUnix("Z:\\bin\\rm -f \"" + unix + "\"");
    }
    DeleteTree(root_, true);
  }
  std::string Path(const std::string& name) const { return root_ + "\\" + name; }
  // Plants a link to the folder "elsewhere", or skips the test where no link can be made.
  bool Plant(const std::string& name) {
    if (!PlantLink(Path(name), Path("elsewhere"))) return false;
    links_.push_back(Path(name));
    return true;
  }
  bool ElsewhereIntact() const { return ReadFilePart(Path("elsewhere\\keep.txt"), 0, 0) == "not yours"; }
  std::string root_;
  std::vector<std::string> links_;
};

}  // namespace

TEST_F(PrivateFolderTest, TheAccessListLetsOnlyOwnerAdministratorsAndSystemWrite) {
  std::vector<BYTE> acl = PrivateFolderAcl();
  ASSERT_FALSE(acl.empty());
  ASSERT_TRUE(IsValidAcl(reinterpret_cast<PACL>(acl.data())));
  ExpectPrivate(reinterpret_cast<PACL>(acl.data()));
}

TEST_F(PrivateFolderTest, TheFolderCarriesThatListProtectedFromItsParent) {
  ASSERT_EQ(CreatePrivateFolder(Path("run")), MakeFolderResult::Created);
  // Wine keeps no access list on a folder: it turns the list into Unix permissions and reads
  // back one made from those.
  if (!UnixPath(Path("run")).empty()) GTEST_SKIP() << "Wine keeps no access list on folders";
  DWORD size = 0;
  GetFileSecurityA(Path("run").c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &size);
  ASSERT_GT(size, 0u);
  std::vector<BYTE> descriptor(size);
  ASSERT_TRUE(GetFileSecurityA(Path("run").c_str(), DACL_SECURITY_INFORMATION, descriptor.data(), size, &size));
  BOOL present = FALSE, defaulted = FALSE;
  PACL dacl = nullptr;
  ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor.data(), &present, &dacl, &defaulted));
  ASSERT_TRUE(present);
  ExpectPrivate(dacl);
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  ASSERT_TRUE(GetSecurityDescriptorControl(descriptor.data(), &control, &revision));
  EXPECT_TRUE(control & SE_DACL_PROTECTED);
}

TEST_F(PrivateFolderTest, FoldersAreMadeOnlyWhereNothingWas) {
  EXPECT_EQ(CreatePrivateFolder(Path("run\\")), MakeFolderResult::Created);
  EXPECT_EQ(CreatePrivateFolder(Path("run")), MakeFolderResult::Exists);
  ASSERT_TRUE(SaveToFile(Path("planted"), "MZ planted", 0, false));
  EXPECT_EQ(CreatePrivateFolder(Path("planted")), MakeFolderResult::Exists);
  EXPECT_EQ(CreatePrivateFolder(Path("missing\\run")), MakeFolderResult::Failed);

  // A folder under the name with a planted engine in it: removed, made again, empty.
  ASSERT_TRUE(SaveToFile(Path("run\\Engine.exe"), "MZ planted", 0, false));
  FreshFolderRequest request;
  request.name = Path("run");
  request.removeOld = true;
  request.alternatePrefix = Path("run_");
  EXPECT_EQ(MakeFreshPrivateFolder(request), Path("run"));
  EXPECT_FALSE(FileExists(Path("run\\Engine.exe")));

  // A planted file keeps its bytes, and the folder gets another name.
  request.name = Path("planted");
  request.alternatePrefix = Path("planted_");
  const std::string other = MakeFreshPrivateFolder(request);
  EXPECT_EQ(other.compare(0, request.alternatePrefix.size(), request.alternatePrefix), 0) << other;
  EXPECT_TRUE(DirectoryExists(other));
  EXPECT_EQ(ReadFilePart(Path("planted"), 0, 0), "MZ planted");
}

TEST_F(PrivateFolderTest, ALinkInTheWayIsNeverFollowed) {
  if (!Plant("SETUP_1")) GTEST_SKIP() << "no junction or symbolic link can be made here";
  FreshFolderRequest request;
  request.name = Path("SETUP_1");
  request.removeOld = true;
  request.alternatePrefix = Path("SETUP_1_");
  const std::string made = MakeFreshPrivateFolder(request);
  EXPECT_NE(made, request.name);
  EXPECT_TRUE(DirectoryExists(made));
  EXPECT_TRUE(ElsewhereIntact());
  EXPECT_TRUE(FileExists(Path("SETUP_1\\keep.txt")));  // the link itself is left alone
}

TEST_F(PrivateFolderTest, DeleteTreeNeverDeletesThroughALink) {
  // A link named as the folder to delete, and a link inside a folder that is deleted.
  if (!Plant("top")) GTEST_SKIP() << "no junction or symbolic link can be made here";
  ASSERT_TRUE(ForceDirectories(Path("tree\\sub")));
  ASSERT_TRUE(SaveToFile(Path("tree\\sub\\a.txt"), "a", 0, false));
  ASSERT_TRUE(Plant("tree\\sub\\inner"));

  DeleteTree(Path("top"), true);
  EXPECT_TRUE(ElsewhereIntact());
  DeleteTree(Path("top\\"), false);
  EXPECT_TRUE(ElsewhereIntact());

  DeleteTree(Path("tree"), true);
  EXPECT_TRUE(ElsewhereIntact());
  EXPECT_FALSE(FileExists(Path("tree\\sub\\a.txt")));
}
