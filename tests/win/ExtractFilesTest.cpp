// The extraction's own file calls on real files: the package held against changes while it is
// read, record data appended only to the file this process wrote, and the program to start
// held for reading until its start.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "package/ByteSource.h"
#include "package/UnPack.h"
#include "support/Files.h"
#include "support/Utils.h"

using namespace stub;

namespace {

class ExtractFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = TempFolder(true) + "StubExtractFilesTest_" + IntText(GetCurrentProcessId());
    DeleteTree(root_, true);
    ASSERT_TRUE(ForceDirectories(root_));
  }
  void TearDown() override { DeleteTree(root_, true); }
  std::string Path(const std::string& name) const { return root_ + "\\" + name; }
  // What another program may do to the file while it is held: write, delete, rename, read.
  static std::string OthersMay(const std::string& path) {
    std::string may;
    HANDLE w = CreateFileA(path.c_str(), GENERIC_WRITE, 7, nullptr, OPEN_EXISTING, 0, nullptr);
    if (w != INVALID_HANDLE_VALUE) {
      may += "write ";
      CloseHandle(w);
    }
    if (MoveFileA(path.c_str(), (path + ".moved").c_str())) {
      may += "rename ";
      MoveFileA((path + ".moved").c_str(), path.c_str());
    }
    HANDLE r = CreateFileA(path.c_str(), GENERIC_READ, 7, nullptr, OPEN_EXISTING, 0, nullptr);
    if (r != INVALID_HANDLE_VALUE) {
      may += "read";
      CloseHandle(r);
    }
    return may;
  }
  bool Write(const std::string& name, const std::string& data, FileStamp& stamp, bool& existed) {
    BytePieces pieces{BytePiece{data.data(), data.size()}};
    return host_.WriteRecordData(Path(name), pieces, 0, stamp, existed);
  }

  std::string root_;
  Win32ExtractHost host_{"Attention", "|&OK|&Cancel|", 0, true};
};

}  // namespace

TEST_F(ExtractFilesTest, ThePackageCannotChangeWhileItIsRead) {
  ASSERT_TRUE(SaveToFile(Path("setup.exe"), "package bytes", 0, false));
  {
    std::unique_ptr<ByteSource> package = host_.OpenRead(Path("setup.exe"));
    ASSERT_TRUE(package);
    EXPECT_EQ(OthersMay(Path("setup.exe")), "read");
    EXPECT_FALSE(DeleteFileA(Path("setup.exe").c_str()));
    char head[7] = {};
    EXPECT_EQ(package->ReadAt(0, head, 7), 7u);
    EXPECT_EQ(std::string(head, 7), "package");
  }
  EXPECT_EQ(OthersMay(Path("setup.exe")), "write rename read");
}

TEST_F(ExtractFilesTest, RecordDataAppendsOnlyToTheFileThisProcessLeft) {
  FileStamp stamp;
  bool existed = true;
  ASSERT_TRUE(Write("a.bin", "one", stamp, existed));
  EXPECT_FALSE(existed);
  EXPECT_NE(stamp.id, 0u);
  EXPECT_EQ(stamp.size, 3);
  ASSERT_TRUE(Write("a.bin", "two", stamp, existed));
  EXPECT_TRUE(existed);
  EXPECT_EQ(ReadFilePart(Path("a.bin"), 0, 0), "onetwo");
  // Changed behind our back: grown, or deleted and put there again. The next record then
  // starts a file of its own.
  ASSERT_TRUE(AppendToFile(Path("a.bin"), "!", 0));
  ASSERT_TRUE(Write("a.bin", "three", stamp, existed));
  EXPECT_EQ(ReadFilePart(Path("a.bin"), 0, 0), "three");
  ASSERT_TRUE(DeleteFileA(Path("a.bin").c_str()));
  // The same size, another file (which may even get the freed number).
  ASSERT_TRUE(SaveToFile(Path("a.bin"), "three", 0, false));
  ASSERT_TRUE(Write("a.bin", "four", stamp, existed));
  EXPECT_TRUE(existed);
  EXPECT_EQ(ReadFilePart(Path("a.bin"), 0, 0), "four");
}

TEST_F(ExtractFilesTest, TheProgramIsHeldForReadingUntilItStarts) {
  FileStamp stamp;
  bool existed = false;
  ASSERT_TRUE(Write("Engine.exe", "MZ engine", stamp, existed));
  HANDLE held = OpenToRun(Path("Engine.exe"), &stamp);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_EQ(OthersMay(Path("Engine.exe")), "read");
  EXPECT_FALSE(DeleteFileA(Path("Engine.exe").c_str()));
  CloseHandle(held);
  // Not the file this process wrote, or no file it wrote at all: nothing to start.
  ASSERT_TRUE(AppendToFile(Path("Engine.exe"), "!", 0));
  EXPECT_EQ(OpenToRun(Path("Engine.exe"), &stamp), INVALID_HANDLE_VALUE);
  EXPECT_EQ(OpenToRun(Path("Engine.exe"), nullptr), INVALID_HANDLE_VALUE);
}
