#include "package/Token.h"

#include <chrono>
#include <random>
#include <vector>

#include "support/Text.h"

namespace stub {

static std::string RandomTokenNumber() {
  std::minstd_rand generator(static_cast<uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
  return IntText(static_cast<int64_t>(generator() % 99999));
}

static int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool TryDescrambleToken(const std::string& text, std::string& clear) {
  clear.clear();
  if (text.size() % 2 != 0) return false;
  // data is 1-based below, as the layout is described that way: data[0] is unused.
  std::vector<unsigned char> data(1, 0);
  for (size_t i = 0; i < text.size(); i += 2) {
    int hi = HexDigit(static_cast<char>(static_cast<unsigned char>(text[i]) - 50));
    int lo = HexDigit(static_cast<char>(static_cast<unsigned char>(text[i + 1]) - 50));
    if (hi < 0 || lo < 0) return false;
    data.push_back(static_cast<unsigned char>(hi * 16 + lo));
  }
  const size_t n = data.size() - 1;
  if (n <= 4) return false;
  unsigned sum = 0;
  for (size_t i = 1; i <= n; ++i)
    if (i != n - 1) sum += data[i];
  if ((sum & 0xFF) != data[n - 1]) return false;
  const unsigned char key = data[1] ^ data[n];
  for (size_t i = 2; i <= n - 1; ++i) data[i] ^= key;
  const size_t lead = data[2], trail = data[3];
  if (lead + trail + 4 > n) return false;
  const size_t length = n - lead - trail - 4;
  for (size_t i = 0; i < length; ++i) clear += static_cast<char>(data[lead + 4 + i]);
  return true;
}

std::string DescrambleToken(const std::string& text) {
  const std::string failed = RandomTokenNumber();
  std::string clear;
  return TryDescrambleToken(text, clear) ? clear : failed;
}

std::string ScrambleToken(const std::string& clear, uint32_t seed) {
  std::minstd_rand generator(seed ? seed : 1);
  auto next = [&generator]() { return static_cast<unsigned char>(generator() & 0xFF); };
  const unsigned char lead = static_cast<unsigned char>(generator() % 8);
  const unsigned char trail = static_cast<unsigned char>(1 + generator() % 8);
  // Layout (1-based): first byte, lead, trail, lead filler bytes, the clear text, trail - 1
  // filler bytes, checksum, last byte. The key is first XOR last and covers 2..n-1.
  std::vector<unsigned char> data;
  data.push_back(next());
  data.push_back(lead);
  data.push_back(trail);
  for (int i = 0; i < lead; ++i) data.push_back(next());
  for (char c : clear) data.push_back(static_cast<unsigned char>(c));
  for (int i = 1; i < trail; ++i) data.push_back(next());
  data.push_back(0);  // checksum, set below
  data.push_back(next());
  const size_t n = data.size();
  const unsigned char key = data[0] ^ data[n - 1];
  for (size_t i = 1; i + 1 < n; ++i) data[i] ^= key;
  unsigned sum = 0;
  for (size_t i = 0; i < n; ++i)
    if (i != n - 2) sum += data[i];
  data[n - 2] = static_cast<unsigned char>(sum & 0xFF);
  std::string text;
  for (unsigned char b : data) {
    static const char digits[] = "0123456789ABCDEF";
    text += static_cast<char>(digits[b >> 4] + 50);
    text += static_cast<char>(digits[b & 15] + 50);
  }
  return text;
}

}  // namespace stub
