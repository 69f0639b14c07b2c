// The system's SHA-256 of real files, checked against known digests and the portable hash.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "support/FileHash.h"
#include "support/Files.h"
#include "support/Sha256.h"
#include "support/Utils.h"

using namespace stub;

TEST(FileHash, SystemHashOfFilesOfEverySize) {
  const std::string folder = TempFolder(true) + "StubFileHashTest_" + IntText(GetCurrentProcessId());
  ASSERT_TRUE(ForceDirectories(folder));
  const std::string path = folder + "\\update.exe";

  ASSERT_TRUE(SaveToFile(path, "abc", 0, false));
  EXPECT_EQ(FileSha256(path), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");

  ASSERT_TRUE(SaveToFile(path, "", 0, false));
  EXPECT_EQ(FileSha256(path), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");

  // More than one read of the hashing loop, and a last read that is not full.
  std::string data(3 * 65536 + 1234, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7 % 251);
  ASSERT_TRUE(SaveToFile(path, data, 0, false));
  Sha256 portable;
  portable.Update(data.data(), data.size());
  EXPECT_EQ(FileSha256(path), portable.FinalHex());

  EXPECT_EQ(FileSha256(folder + "\\missing.exe"), "");
  DeleteTree(folder, true);
}
