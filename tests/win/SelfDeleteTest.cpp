#include <windows.h>

#include <gtest/gtest.h>

#include "stub/SelfCopy.h"
#include "stub/SelfCopyPlan.h"
#include "support/Files.h"
#include "support/Utils.h"

using namespace stub;

// The batch file as the copies write it, run by the system's command processor: it deletes
// the file and the folder, or gives up after its tries when the file can never be deleted.
TEST(SelfDelete, BatchDeletesOrGivesUp) {
  struct Case { bool deletable; } cases[] = {{true}, {false}};
  for (const Case& c : cases) {
    const std::string folder = TempFolder(true) + "SelfDelete " + IntText(GetCurrentProcessId());
    ForceDirectories(folder);
    DeleteMeBatch batch;
    batch.exe = folder + "\\Y_copy.exe";
    batch.folder = folder;
    batch.removeFolder = true;
    batch.path = DeleteMeBatchPath(TempFolder(true), GetCurrentProcessId());
    batch.ping = SystemFolder(true) + "PING.EXE";
    batch.tries = 3;
    ASSERT_TRUE(SaveToFile(batch.exe, "copy", 0, false));
    if (!c.deletable) SetFileAttributesA(batch.exe.c_str(), FILE_ATTRIBUTE_READONLY);
    ASSERT_TRUE(SaveToNewFile(batch.path, DeleteMeBatchText(batch)));
    ASSERT_TRUE(StartHidden("\"" + batch.path + "\""));
    for (int i = 0; i < 300 && FileExists(batch.path); ++i) Sleep(100);
    EXPECT_FALSE(FileExists(batch.path)) << "the batch did not end";
    EXPECT_EQ(FileExists(batch.exe), !c.deletable);
    EXPECT_EQ(DirectoryExists(folder), !c.deletable);
    SetFileAttributesA(batch.exe.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteTree(folder, true);
  }
}

TEST(SelfDelete, NewFileReplacesWhatWasThere) {
  const std::string path = TempFolder(true) + "SaveToNewFile_" + IntText(GetCurrentProcessId()) + ".txt";
  ASSERT_TRUE(SaveToFile(path, "an older and longer text", 0, false));
  ASSERT_TRUE(SaveToNewFile(path, "new"));
  EXPECT_EQ(ReadFilePart(path, 0, 0), "new");
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_FALSE(SaveToNewFile(path, "again"));  // a file that cannot go is not written into
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileA(path.c_str());
}
