// The stub's number texts on Windows: FixedText against mingw's printf, which wrote them
// before, and Format through the system's printf.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "support/Text.h"

using namespace stub;

TEST(WindowsFormat, FixedTextWritesWhatMingwPrintfWrote) {
  uint64_t seed = 2463534242ull;
  char expected[400];
  for (int i = 0; i < 50000; ++i) {
    seed ^= seed << 13;
    seed ^= seed >> 7;
    seed ^= seed << 17;
    const int decimals = static_cast<int>(seed % 4);
    double value = std::ldexp(static_cast<double>(seed >> 11), static_cast<int>(seed % 96) - 80);
    if (i % 3 == 0) value = std::floor(value) + (seed % 8) / 8.0;
    std::snprintf(expected, sizeof expected, "%.*f", decimals, value);  // mingw's own printf
    ASSERT_EQ(FixedText(value, decimals), expected) << value << " " << decimals;
  }
}

TEST(WindowsFormat, IntegersAndTextThroughTheSystemPrintf) {
  EXPECT_EQ(Format("%lu|%d.%d|%s|%5d|%-3s|%x", 4294967295ul, -1, 2, "a b", 42, "z", 255u), "4294967295|-1.2|a b|   42|z  |ff");
  EXPECT_EQ(Format("%s", ""), "");
  const std::string longText(3000, 'x');
  EXPECT_EQ(Format("<%s>", longText.c_str()), "<" + longText + ">");
}
