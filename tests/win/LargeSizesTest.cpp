// Sizes read from a file that the 32-bit program cannot hold: the stub has no exceptions, so
// these paths must say "no memory" instead of raising, and leave what they had untouched.
#include <gtest/gtest.h>

#include <string>

#include "package/PackageLayout.h"
#include "package/Records.h"
#include "support/Text.h"

using namespace stub;

namespace {

// Claims to be 3 GiB and holds only its first bytes; reading past them is a fault of the test.
class HugeSource : public ByteSource {
 public:
  explicit HugeSource(std::string head) : head_(std::move(head)) {}
  int64_t Size() override { return int64_t(3) << 30; }
  size_t ReadAt(int64_t offset, void* buffer, size_t count) override {
    if (offset < 0 || offset + int64_t(count) > int64_t(head_.size())) {
      ADD_FAILURE() << "read at " << offset << " from a record that could not be held";
      return 0;
    }
    return head_.copy(static_cast<char*>(buffer), count, static_cast<size_t>(offset));
  }

 private:
  std::string head_;
};

bool ThirtyTwoBit() { return sizeof(void*) == 4; }

}  // namespace

TEST(LargeSizes, TryResizeRefusesWhatTheAddressSpaceCannotHold) {
  if (!ThirtyTwoBit()) GTEST_SKIP() << "a 64-bit process may well get 2 GiB";
  std::string text = "kept";
  EXPECT_FALSE(TryResize(text, 0x7FFFFFF0u));
  EXPECT_EQ(text, "kept");
  EXPECT_FALSE(TryResize(text, text.max_size()));
  EXPECT_EQ(text, "kept");
  ASSERT_TRUE(TryResize(text, 100000));
  EXPECT_EQ(text.size(), 100000u);
  EXPECT_EQ(text.compare(0, 4, "kept"), 0);
  ASSERT_TRUE(TryResize(text, 2));
  EXPECT_EQ(text, "ke");
}

TEST(LargeSizes, RecordTooLargeToHoldIsReportedNotRead) {
  if (!ThirtyTwoBit()) GTEST_SKIP() << "a 64-bit process may well get 2 GiB";
  std::string length(4, '\0');
  WriteU32LE(reinterpret_cast<uint8_t*>(&length[0]), 0x7FFFFF00u);
  HugeSource source(length);
  RawRecord record;
  record.bytes = "from the record before";
  ReadRawRecordInto(source, 0, source.Size(), record);
  EXPECT_TRUE(record.noMemory);
  EXPECT_FALSE(record.complete);
  EXPECT_TRUE(record.bytes.empty());
  EXPECT_EQ(record.stated, 0x7FFFFF00);
  EXPECT_EQ(record.next, 4 + int64_t(0x7FFFFF00));
}
