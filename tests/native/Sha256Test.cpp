#include "support/Sha256.h"

#include <gtest/gtest.h>

#include <string>

namespace stub {
namespace {

std::string HashOf(const std::string& data, size_t piece) {
  Sha256 h;
  for (size_t i = 0; i < data.size(); i += piece) h.Update(data.data() + i, std::min(piece, data.size() - i));
  return h.FinalHex();
}

TEST(Sha256, KnownDigestsWhateverTheFeedingPieces) {
  struct Case {
    std::string data;
    const char* digest;
  } cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",  // padding spills into a second block
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const Case& c : cases)
    for (size_t piece : {size_t(1), size_t(63), size_t(64), size_t(4096)}) {
      if (c.data.size() > 100000 && piece < 64) continue;
      EXPECT_EQ(HashOf(c.data, piece), c.digest) << c.data.size() << " bytes in pieces of " << piece;
    }
}

TEST(Sha256, HashTextFromADescriptionFile) {
  const std::string hex = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
  std::string upper = hex;
  for (char& c : upper) c = static_cast<char>(toupper(c));
  EXPECT_EQ(NormalizedSha256(hex), hex);
  EXPECT_EQ(NormalizedSha256("  " + upper + " \r"), hex);
  for (const std::string& bad : {std::string(), hex.substr(1), hex + "0", hex.substr(1) + "g", "0x" + hex.substr(2),
                                 hex.substr(0, 32) + " " + hex.substr(33)})
    EXPECT_EQ(NormalizedSha256(bad), "") << bad;
}

}  // namespace
}  // namespace stub
