#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "support/Scramble.h"
#include "support/Switches.h"
#include "support/Text.h"
#include "support/VSUB.h"

using namespace stub;

TEST(FieldList, CountAndGet) {
  EXPECT_EQ(SubCount("|a|b|"), 2);
  EXPECT_EQ(SubCount("|a|b"), 0);
  EXPECT_EQ(SubCount(""), 0);
  EXPECT_EQ(SubGet("|a||c|", 1, "D"), "D");  // empty field
  EXPECT_EQ(SubGet("|a|b", 1, "D"), "D");    // unclosed field
  EXPECT_EQ(SubGet("|a|b", 0, "D"), "a");
  EXPECT_EQ(SubGet("||JAN|FEB|MAR|APR|MAY|JUN|JUL|AUG|SEP|OCT|NOV|DEC|", 12), "DEC");
  EXPECT_EQ(SubGet("||JAN|", 0, "x"), "x");
  EXPECT_EQ(SubGet("|a|", -1, "x"), "x");
  EXPECT_EQ(SubGetInt("|12|x|", 0, -1), 12);
  EXPECT_EQ(SubGetInt("|12|x|", 1, -1), -1);
}

TEST(FieldList, SetAddsFieldsAndSwitchesDelimiter) {
  EXPECT_EQ(SubSet("|a|b|", 3, "z"), "|a|b||z|");
  EXPECT_EQ(SubSet("", 0, "x"), "|x|");
  EXPECT_EQ(SubSet("|a|b|", 1, "c|d"), "^a^c|d^");
  // Every candidate taken but one: the first free one wins.
  EXPECT_EQ(SubSet("|a|", 0, "|^!~@#$&"), "*|^!~@#$&*");
  // An unclosed tail is kept as a field rather than lost.
  EXPECT_EQ(SubSet("|a|b", 2, "c"), "|a|b|c|");
  // A field's own 0x00 bytes are kept, not turned into delimiters.
  EXPECT_EQ(SubSet(std::string("\0a\0", 3), 1, std::string("x\0y", 3)), std::string("|a|x\0y|", 7));
}

TEST(FieldList, ValueLookup) {
  EXPECT_EQ(SubValue("| Key = 5 |", "Key", "A", "E"), " 5 ");
  EXPECT_EQ(SubValue("|a=1|KEY=2|", "key", "A", "E"), "2");
  EXPECT_EQ(SubValue("|a=1|k=|", "k", "A", "E"), "E");
  EXPECT_EQ(SubValue("|a=1|", "k", "A", "E"), "A");
  EXPECT_EQ(SubValue("|a=1", "a", "A", "E"), "A");   // not closed
  EXPECT_EQ(SubValue("||", "a", "A", "E"), "A");     // too short
  EXPECT_EQ(SubValue("|ab=1|b=2|", "b", "A", "E"), "2");  // whole key, not a suffix
  EXPECT_EQ(SubValue("|s1=x|", "s1=", "A", "E"), "x");
}

TEST(Switches, TailOfCommandLine) {
  struct Case { const char* commandLine; const char* own; const char* tail; } cases[] = {
      {"\"C:\\A B\\setup.exe\" /hide /WAIT=10", "C:\\A B\\setup.exe", "/hide /WAIT=10"},
      {"\"C:\\A B\\setup.exe\"", "C:\\A B\\setup.exe", ""},
      {"\"C:\\A B\\setup.exe\" ", "C:\\A B\\setup.exe", ""},
      {"C:\\x\\SETUP.EXE /a", "C:\\x\\setup.exe", "/a"},
      {"C:\\setup.exe.d\\setup.exe /a", "C:\\setup.exe.d\\setup.exe", "/a"},
      {"other /a", "C:\\x\\setup.exe", "other /a"},
      {"", "C:\\x\\setup.exe", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(ParamTailOf(c.commandLine, c.own), c.tail) << c.commandLine;
}

TEST(Switches, Values) {
  struct Case { const char* tail; const char* name; const char* value; } cases[] = {
      {"/WAIT=10 /hide", "/WAIT=", "10"},
      {"/WAIT=10 /hide", "/hide", "TRUE"},
      {"/hide /WAIT=10", "/hide", ""},
      {"/hide /WAIT=10", "/HIDE", ""},
      {"/x", "/SpanCdLvl=", ""},
      {"/Dir=\"C:\\Program Files\\A/B\" /x", "/Dir=", "C:\\Program Files\\A/B"},
      {"/Dir=C:\\Program Files\\A/B", "/Dir=", "C:\\Program"},
      {"/Dir=\"C:\\open end", "/Dir=", "C:\\open end"},
      {"/A=1/B=2", "/A=", "1"},
      {"/A= /B=2", "/A=", ""},
      {"/TRANSIENTx=|1|2|", "/TRANSIENT=", ""},  // a plain substring: no word boundary
      {"/TRANSIENTx=|1|2|", "/TRANSIENTx=", "|1|2|"},
  };
  for (const Case& c : cases) EXPECT_EQ(ParamValueIn(c.tail, c.name), c.value) << c.tail << " " << c.name;
  EXPECT_TRUE(HasParamIn("/hide /WAIT=10", "/HIDE"));
  EXPECT_FALSE(HasParamIn("/WAIT=10", "/hide"));
  EXPECT_EQ(ParamIntIn("/WAIT=10 /hide", "/WAIT=", 0), 10);
  EXPECT_EQ(ParamIntIn("/x", "/SpanCdLvl=", 1), 1);
  EXPECT_EQ(ParamIntIn("/SpanCdLvl=two", "/SpanCdLvl=", 1), 1);
  EXPECT_EQ(ParamIntIn("/SleepX=-5", "/SleepX=", -1), -5);
  EXPECT_EQ(ParamIntIn("/SpanCdLvl=", "/SpanCdLvl=", 1), 1);  // "TRUE" at the end
}

TEST(Text, NumbersAndPaths) {
  EXPECT_EQ(ToInt64(" 42 ", 0), 42);
  EXPECT_EQ(ToInt64("-7", 0), -7);
  EXPECT_EQ(ToInt64("$1F", 0), 31);
  EXPECT_EQ(ToInt64("12x", -1), -1);
  EXPECT_EQ(ToInt64("", -1), -1);
  EXPECT_EQ(ToInt64("99999999999999999999", -1), -1);
  EXPECT_EQ(ToInt64("-9223372036854775808", 0), INT64_MIN);
  EXPECT_EQ(GroupThousands("1234567.5"), "1,234,567.5");
  EXPECT_EQ(GroupThousands("123"), "123");
  EXPECT_EQ(SizeText(1048577, 1048576, 0, false), "2");
  EXPECT_EQ(SizeText(1572864, 1048576, 1, false), "1.5");
  EXPECT_EQ(MBText(5000.0 * 1048576, 0, true), "5,000");
  EXPECT_EQ(PadLeft("abc", 5, ' '), "  abc");
  EXPECT_EQ(PadLeft("abcdef", 3, ' '), "abcdef");
  EXPECT_EQ(PadLeft("abcdef", -4, ' '), "abc.");
  EXPECT_EQ(ZeroPad(9, 2), "09");
  EXPECT_EQ(NameWithoutExt("C:\\x\\a.b.exe", false), "a.b");
  EXPECT_EQ(NameWithoutExt("C:\\x\\a.b.exe", true), "a");
  EXPECT_EQ(NameWithoutExt("noext", false), "noext");
  EXPECT_EQ(FolderSlash("C:\\", false), "C:");
  EXPECT_EQ(FolderSlash("C:\\", true), "C:\\");
  EXPECT_EQ(FolderSlash("C:\\A\\", false), "C:\\A");
  EXPECT_EQ(FolderSlash("C:\\A", true), "C:\\A\\");
  EXPECT_EQ(StripSlash("\\"), "");
  EXPECT_EQ(CollapseSlashes("\\\\srv\\a\\\\b\\", true), "\\\\srv\\a\\b");
  EXPECT_EQ(HexDecode(HexEncode(std::string("\x00\xff\x10", 3))), std::string("\x00\xff\x10", 3));
  EXPECT_EQ(ParseIntBase("ff", 16), 255);
  EXPECT_EQ(Unquote("\"\"a\"\"", '"', false, false), "a");
  EXPECT_EQ(Unquote("\"\"a\"\"", '"', false, true), "\"a\"");
  EXPECT_EQ(Unquote("\"", '"', false, false), "");
  EXPECT_EQ(UnquoteTrim("  \"a b\"  "), "a b");
  EXPECT_TRUE(SameTextTrim(" agent.EXE ", "Agent.exe"));
  EXPECT_TRUE(SameText("\xe9t\xe9", "\xc9T\xc9"));  // accented letters fold as in Windows-1252
}

TEST(Text, FixedTextRoundsTheExactValueHalfToEven) {
  const struct {
    double value;
    int decimals;
    const char* text;
  } cases[] = {
      {0.25, 1, "0.2"},        {0.35, 1, "0.3"},        {0.125, 2, "0.12"},     {0.375, 2, "0.38"},
      {2.5, 0, "2"},           {3.5, 0, "4"},           {0.5, 0, "0"},          {1.0005, 3, "1.000"},
      {1023.99951171875, 3, "1024.000"},                {123456789.0, 0, "123456789"},
      {0.0, 2, "0.00"},        {-0.0, 1, "-0.0"},       {-0.04, 1, "-0.0"},     {-1.25, 1, "-1.2"},
      {1e-300, 3, "0.000"},    {4.9e-324, 0, "0"},      {0.0005, 3, "0.001"},   {0.0015, 3, "0.002"},
      {18446744073709551616.0, 1, "18446744073709551616.0"},
      {1e22, 0, "10000000000000000000000"},             {1e23, 0, "99999999999999991611392"},
      {std::numeric_limits<double>::infinity(), 2, "inf"},
      {-std::numeric_limits<double>::infinity(), 0, "-inf"},
  };
  for (const auto& c : cases) EXPECT_EQ(FixedText(c.value, c.decimals), c.text) << c.value << " " << c.decimals;
  EXPECT_EQ(FixedText(std::numeric_limits<double>::max(), 0).size(), 309u);
  EXPECT_EQ(FixedText(std::nan(""), 1), "nan");
}

// Against the C library: every binary fraction n / 2^k below 256 with k up to 14, where all
// the ties lie, then mantissas spread over the whole exponent range, both signs.
TEST(Text, FixedTextWritesWhatPrintfWrites) {
  char expected[400];
  auto check = [&](double value, int decimals) {
    std::snprintf(expected, sizeof expected, "%.*f", decimals, value);
    return FixedText(value, decimals) == expected;
  };
  for (int k = 0; k <= 14; ++k)
    for (int n = 0; n < (256 << k); n += 1 + (n >> 12))
      for (int decimals = 0; decimals <= 3; ++decimals) {
        const double value = std::ldexp(n, -k);
        ASSERT_TRUE(check(value, decimals) && check(-value, decimals)) << value << " " << decimals;
      }
  for (int exponent = -1074; exponent <= 971; ++exponent)
    for (double mantissa : {1.0, 3.0, 4503599627370497.0, 9007199254740991.0}) {
      const double value = std::ldexp(mantissa, exponent);
      ASSERT_TRUE(check(value, exponent & 3)) << value;
    }
}

TEST(Text, ReplaceNeverRescansInsertedText) {
  EXPECT_EQ(ReplaceText("aaa", "a", "aa"), "aaaaaa");
  EXPECT_EQ(ReplaceText("a.a.a.a", ".", "-", 2), "a.a-a-a");
  EXPECT_EQ(ReplaceText("a.a.a.a", ".", "-", 0, 2), "a-a-a.a");
  EXPECT_EQ(ReplaceTextCI("x<p>y<P>", "<P>", "\n"), "x\ny\n");
  EXPECT_EQ(ExpandEscapes("a\\\\nb\\\\tc<p>d<T>e"), "a\r\nb\tc\r\nd\te");
}

TEST(Text, DatesAndStamps) {
  CivilTime t;
  t.year = 2026; t.month = 12; t.day = 5; t.hour = 22; t.minute = 21; t.second = 13;
  EXPECT_EQ(DateText(t), "05-DEC-2026");
  EXPECT_EQ(DateTimeText(t), "05-DEC-2026 22:21:13");
  EXPECT_EQ(StampText(t, false), "05/12/26 22:21:13");
  EXPECT_EQ(StampText(t, true, '.', ':'), "05.12.2026 22:21:13");
}

TEST(Scramble, RoundTripsWithAndWithoutHex) {
  const std::string samples[] = {"x", "Hello, world", std::string("\x00\x01\xff bytes", 9),
                                 std::string(300, 'z')};
  for (const std::string& s : samples) {
    for (uint32_t seed : {1u, 99u, 12345u}) {
      std::string plain = ScrambleText(s, true, false, seed);
      ASSERT_EQ(plain.compare(0, 12, "Scrambled=01"), 0);
      unsigned char key = static_cast<unsigned char>(plain[12]);
      EXPECT_GE(key, '!');
      EXPECT_LE(key, 'z');
      EXPECT_EQ(ScrambleText(plain, true, false), plain);  // already scrambled
      EXPECT_EQ(ScrambleText(plain, false, false), s);
      std::string hex = ScrambleText(s, true, true, seed);
      EXPECT_EQ(hex.size(), plain.size() * 2);
      EXPECT_EQ(hex.find_first_not_of("0123456789ABCDEF"), std::string::npos);
      EXPECT_EQ(ScrambleText(hex, false, true), s);
    }
  }
  EXPECT_EQ(ScrambleText("plain text", false, false), "plain text");
  EXPECT_EQ(ScrambleText("", true, true), "");
  EXPECT_EQ(ScrambleText("Scrambled=01", false, false), "");
}

TEST(Scramble, KnownBytes) {
  // Key 'A' (65): byte i is XORed with (i + 65) at odd and (i - 65) at even positions.
  std::string decoded = ScrambleText(std::string("Scrambled=01A") + char('a' ^ 66) + char('b' ^ (2 - 65 + 256)),
                                     false, false);
  EXPECT_EQ(decoded, "ab");
}
