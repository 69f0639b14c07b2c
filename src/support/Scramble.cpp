#include "support/Scramble.h"

#include <chrono>
#include <random>

#include "support/Text.h"

namespace stub {

static const char kMarker[] = "Scrambled=01";
static const size_t kMarkerLength = 12;

// Key 33..122, so that the key character is printable.
static int ScrambleKey(uint32_t seed) {
  if (seed == 0) seed = static_cast<uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  std::minstd_rand generator(seed);
  return 33 + static_cast<int>(generator() % 90);
}

static void Convert(std::string& bytes, int key) {
  for (size_t i = 1; i <= bytes.size(); ++i) {
    int s = (i % 2 == 1) ? 1 : -1;
    unsigned mask = static_cast<unsigned>(static_cast<int>(i) + s * key) & 0xFF;
    bytes[i - 1] = static_cast<char>(static_cast<unsigned char>(bytes[i - 1]) ^ mask);
  }
}

std::string ScrambleText(const std::string& input, bool encode, bool hex, uint32_t keySeed) {
  if (input.empty()) return input;
  std::string text = input;
  if (!encode && hex) text = HexDecode(text);
  int key = ScrambleKey(keySeed);
  bool scrambled = text.compare(0, kMarkerLength, kMarker) == 0;
  if (scrambled == encode) return text;
  if (!encode) {
    // The marker alone carries no key and no bytes: there is nothing to decode.
    if (text.size() <= kMarkerLength) return std::string();
    key = static_cast<unsigned char>(text[kMarkerLength]);
    text.erase(0, kMarkerLength + 1);
  }
  Convert(text, key);
  if (!encode) return text;
  std::string marked = std::string(kMarker) + static_cast<char>(key) + text;
  return hex ? HexEncode(marked) : marked;
}

}  // namespace stub
