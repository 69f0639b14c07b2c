// File and disk operations on real files in a temporary folder.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "support/Files.h"
#include "support/Utils.h"

using namespace stub;

namespace {

class FilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = TempFolder(true) + "StubFilesTest_" + IntText(GetCurrentProcessId());
    DeleteTree(root_, true);
    ASSERT_TRUE(ForceDirectories(root_));
  }
  void TearDown() override { DeleteTree(root_, true); }
  std::string Path(const std::string& name) const { return root_ + "\\" + name; }
  void Make(const std::string& name, const std::string& data = "x") {
    ASSERT_TRUE(ForceDirectories(FolderPart(Path(name)))) << name;
    ASSERT_TRUE(SaveToFile(Path(name), data, 0, false)) << name;
  }
  static std::string Pattern(size_t n) {
    std::string data(n, '\0');
    for (size_t i = 0; i < n; ++i) data[i] = static_cast<char>(i * 7 % 251);
    return data;
  }
  std::string root_;
};

// Packed DOS date-time of the file's last write, on the local clock.
uint32_t DosDateOf(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  FILETIME written, local;
  WORD date = 0, time = 0;
  if (GetFileTime(file, nullptr, nullptr, &written) && FileTimeToLocalFileTime(&written, &local))
    FileTimeToDosDateTime(&local, &date, &time);
  CloseHandle(file);
  return (uint32_t(date) << 16) | time;
}

uint32_t PackDos(int year, int month, int day, int hour, int minute, int second) {
  uint32_t date = uint32_t(((year - 1980) << 9) | (month << 5) | day);
  uint32_t time = uint32_t((hour << 11) | (minute << 5) | (second / 2));
  return (date << 16) | time;
}

TEST_F(FilesTest, ReadFilePartStaysInsideTheFile) {
  std::string data = Pattern(4000);
  Make("data.bin", data);
  struct Case {
    int64_t maximum, start;
    std::string expected;
  } cases[] = {
      {10000, 0, data},  {0, 0, data},
      {100, 3950, data.substr(3950)}, {10, 100, data.substr(100, 10)},
      {0, 3999, data.substr(3999)},   {0, 4000, ""},
      {0, 5000, ""},                  {0, -1, ""},
      {10, -1, ""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ReadFilePart(Path("data.bin"), c.maximum, c.start), c.expected) << c.maximum << " @ " << c.start;
  Make("empty.bin", "");
  EXPECT_EQ(ReadFilePart(Path("empty.bin"), 0, 0), "");
  EXPECT_EQ(ReadFilePart(Path("missing.bin"), 0, 0), "");
  EXPECT_EQ(ReadFilePart(root_, 0, 0), "");  // a folder is no file
}

TEST_F(FilesTest, SizesAndPositions) {
  Make("data.bin", Pattern(4000));
  EXPECT_EQ(FileSizeByName(Path("data.bin")), 4000);
  EXPECT_EQ(FileSizeByName(Path("missing.bin")), 0);
  HANDLE file = CreateFileA(Path("data.bin").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                            nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(FileSizeOfHandle(file), 4000);
  EXPECT_EQ(FileSeek64(file, 2, 0), 4000);
  EXPECT_EQ(FileSeek64(file, 0, 100), 100);
  EXPECT_EQ(FileSeek64(file, 1, -50), 50);
  EXPECT_EQ(FileSeek64(file, 0, 5000000000LL), 5000000000LL);  // past the end is allowed
  EXPECT_EQ(FileSeek64(file, 0, -1), -1);
  CloseHandle(file);
}

TEST_F(FilesTest, SaveToFileReplacesOrAppends) {
  std::string file = Path("out.txt");
  EXPECT_TRUE(SaveToFile(file, "first", 0, false));
  EXPECT_TRUE(SaveToFile(file, "abc", 0, false));
  EXPECT_EQ(ReadFilePart(file, 0, 0), "abc");
  EXPECT_TRUE(SaveToFile(file, "def", 0, true));
  EXPECT_EQ(ReadFilePart(file, 0, 0), "abcdef");
  EXPECT_TRUE(SaveToFile(Path("new.txt"), "made", 0, true));  // append creates a missing file
  EXPECT_EQ(ReadFilePart(Path("new.txt"), 0, 0), "made");
  EXPECT_TRUE(AppendToFile(file, "\r\nline", 0));
  EXPECT_TRUE(AppendToFile(Path("log.txt"), "one", 0));
  EXPECT_EQ(ReadFilePart(file, 0, 0), "abcdef\r\nline");
  EXPECT_EQ(ReadFilePart(Path("log.txt"), 0, 0), "one");
  EXPECT_TRUE(SaveToFile(file, "", 0, false));
  EXPECT_EQ(FileSizeByName(file), 0);

  EXPECT_FALSE(SaveToFile(Path("no\\such\\dir\\x.txt"), "x", 0, false));
  EXPECT_FALSE(SaveToFile(Path("no\\such\\dir\\x.txt"), "x", 0, true));
  EXPECT_FALSE(AppendToFile(Path("no\\such\\dir\\x.txt"), "x", 0));
}

TEST_F(FilesTest, WritesApplyTheDosDate) {
  uint32_t stamp = PackDos(2021, 6, 15, 10, 20, 30);
  ASSERT_TRUE(SaveToFile(Path("a.txt"), "a", stamp, false));
  EXPECT_EQ(DosDateOf(Path("a.txt")), stamp);
  uint32_t later = PackDos(2022, 1, 2, 23, 59, 58);
  ASSERT_TRUE(SaveToFile(Path("a.txt"), "b", later, true));
  EXPECT_EQ(DosDateOf(Path("a.txt")), later);
  ASSERT_TRUE(AppendToFile(Path("b.txt"), "b", stamp));
  EXPECT_EQ(DosDateOf(Path("b.txt")), stamp);
  ASSERT_TRUE(SaveToFile(Path("c.txt"), "c", 0, false));  // 0: the system's own time stays
  EXPECT_NE(DosDateOf(Path("c.txt")) >> 16, stamp >> 16);
}

TEST(SaveChunks, TenthsOfAtMostOneMebibyteAboveOneMebibyte) {
  struct Case {
    size_t size, chunk;
  } cases[] = {
      {5000000, 500000}, {2000000, 200000}, {1048576, 1048576}, {1048577, 104857},
      {20000000, 1048576}, {10485770, 1048576}, {1000, 1000}, {0, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(SaveChunkSize(c.size), c.chunk) << c.size;
}

TEST_F(FilesTest, LargeDataSurvivesChunkedWrites) {
  // 2,500,003 bytes: ten chunks of 250,000 and a short last one.
  std::string data = Pattern(2500003);
  ASSERT_TRUE(SaveToFile(Path("big.bin"), data, 0, false));
  EXPECT_EQ(FileSizeByName(Path("big.bin")), 2500003);
  EXPECT_TRUE(ReadFilePart(Path("big.bin"), 0, 0) == data);
}

TEST(DriveRootTable, PathsForTheFreeSpaceQuery) {
  struct Case {
    const char* path;
    bool letterOnly;
    const char* expected;
  } cases[] = {
      {"C:\\Temp\\SETUP_1\\", false, "C:\\Temp"},
      {"C:\\Temp\\SETUP_1\\", true, "C:\\"},
      {"c:/temp/setup_1/", false, "c:\\temp"},
      {"d:", false, "D:\\"},
      {"e", false, "E:\\"},
      {"C:\\", false, "C:\\"},
      {"C:\\Temp", false, "C:\\Temp"},
      {"\\\\server\\share\\dir", false, "\\\\server"},
      {"", false, ""},
      {"", true, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(DriveRoot(c.path, c.letterOnly), c.expected) << c.path;
}

TEST_F(FilesTest, DiskFreeBytesOfExistingDrivesOnly) {
  EXPECT_GT(DiskFreeBytes("C:\\"), 0);
  EXPECT_GT(DiskFreeBytes(Path("not\\made\\yet")), 0);  // falls back to the drive's root
  EXPECT_EQ(DiskFreeBytes("Q:\\nothing"), 0);
}

TEST_F(FilesTest, ForceDirectoriesMakesEveryParent) {
  EXPECT_TRUE(ForceDirectories(Path("a\\b\\c")));
  EXPECT_TRUE(DirectoryExists(Path("a\\b\\c")));
  EXPECT_TRUE(ForceDirectories(Path("a\\b\\c\\")));  // already there
  Make("file");
  EXPECT_FALSE(ForceDirectories(Path("file\\sub")));
  EXPECT_FALSE(ForceDirectories(""));
  EXPECT_TRUE(FileExists(Path("file")));
  EXPECT_FALSE(DirectoryExists(Path("file")));
  EXPECT_FALSE(FileExists(Path("a")));
}

TEST_F(FilesTest, TreeSearchesFindTheFirstMatchBelow) {
  Make("a\\b\\target.txt");
  Make("c\\other.txt");
  ForceDirectories(Path("c\\deep\\b2"));
  struct Case {
    const char* name;
    const char* expected;  // relative to the root, "" for none
  } files[] = {
      {"target.txt", "a\\b\\target.txt"},
      {"other.txt", "c\\other.txt"},
      {"missing.txt", ""},
      {"b2", ""},  // a folder is not a file
  };
  for (const Case& c : files) {
    std::string found = FindFileInTree(root_, c.name);
    EXPECT_TRUE(SameText(found, *c.expected ? Path(c.expected) : "")) << c.name << " -> " << found;
  }
  EXPECT_TRUE(SameText(FindFileInTree(root_ + "\\", "TARGET.TXT"), Path("a\\b\\TARGET.TXT")));

  Case folders[] = {
      {"b", "a\\b"}, {"B2", "c\\deep\\b2"}, {"deep\\b2", "c\\deep\\b2"}, {"other.txt", ""}, {"zz", ""},
  };
  for (const Case& c : folders) {
    std::string found = FindFolderInTree(root_, c.name);
    EXPECT_TRUE(SameText(found, *c.expected ? Path(c.expected) : "")) << c.name << " -> " << found;
  }
  std::string own = FileNamePart(root_);
  EXPECT_EQ(FindFolderInTree(root_, own), root_);  // the folder itself counts

  EXPECT_EQ(FindFolderOnDrives(Path("a\\b"), DRIVE_FIXED), Path("a\\b"));
  EXPECT_EQ(FindFolderOnDrives(Path("a\\b"), DRIVE_CDROM), "");
  EXPECT_EQ(FindFolderOnDrives(Path("a\\none"), DRIVE_FIXED), "");
}

TEST_F(FilesTest, DeleteFilesReportsMatchesNotDeletions) {
  Make("x1.tmp");
  Make("x2.tmp");
  Make("ro.tmp");
  Make("keep.txt");
  ForceDirectories(Path("dir.tmp"));
  SetFileAttributesA(Path("ro.tmp").c_str(), FILE_ATTRIBUTE_READONLY);

  EXPECT_TRUE(DeleteFiles(Path("*.tmp"), false));
  EXPECT_FALSE(FileExists(Path("x1.tmp")));
  EXPECT_FALSE(FileExists(Path("x2.tmp")));
  EXPECT_TRUE(FileExists(Path("ro.tmp")));  // read-only without clearing: stays

  EXPECT_TRUE(DeleteFiles(Path("*.tmp"), true));  // matched even though only ro.tmp was left
  EXPECT_FALSE(FileExists(Path("ro.tmp")));
  EXPECT_FALSE(DeleteFiles(Path("*.tmp"), true));  // folders never match
  EXPECT_TRUE(DirectoryExists(Path("dir.tmp")));
  EXPECT_TRUE(FileExists(Path("keep.txt")));
}

TEST_F(FilesTest, DeleteTreeRemovesEverythingOrSaysSo) {
  Make("t\\a.txt");
  Make("t\\sub\\b.txt");
  Make("t\\sub\\deeper\\c.txt");
  SetFileAttributesA(Path("t\\sub\\deeper\\c.txt").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);

  EXPECT_FALSE(DeleteTree(Path("t"), false));  // the read-only file holds its folders
  EXPECT_TRUE(FileExists(Path("t\\sub\\deeper\\c.txt")));
  EXPECT_FALSE(FileExists(Path("t\\a.txt")));

  EXPECT_TRUE(DeleteTree(Path("t\\"), true));
  EXPECT_FALSE(DirectoryExists(Path("t")));

  EXPECT_FALSE(DeleteTree(Path("t"), true));  // did not exist
  EXPECT_FALSE(DeleteTree("", true));
  EXPECT_TRUE(DirectoryExists(root_));
}

TEST_F(FilesTest, EjectCDIgnoresOtherDrives) {
  EXPECT_FALSE(EjectCD(root_));
  EXPECT_FALSE(EjectCD("C:\\"));
  EXPECT_FALSE(EjectCD(""));
  EXPECT_FALSE(EjectCD("1:\\"));
}

}  // namespace
