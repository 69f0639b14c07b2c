#include <gtest/gtest.h>

#include "autoupdate/ProcessMatch.h"

using namespace stub;

TEST(ProcessMatch, PathsNamesAndShortForms) {
  const ProcessFacts product{"C:\\Program Files\\Vendor\\Product.exe", "Product.exe", "C:\\PROGRA~1\\Vendor\\PRODUCT.EXE"};
  const ProcessFacts unreadable{"", "", ""};
  struct Case {
    const ProcessFacts& process; const char* wanted; const char* wantedShort; bool loose, strict;
  } cases[] = {
      {product, "C:\\Program Files\\Vendor\\Product.exe", "C:\\PROGRA~1\\Vendor\\PRODUCT.EXE", true, true},
      {product, "  c:\\program files\\VENDOR\\product.EXE ", "", true, true},  // case and blanks
      // The same program name in another folder, or the bare name: only the loose question.
      {product, "D:\\Other\\Product.exe", "D:\\Other\\PRODUCT.EXE", false, false},
      {product, "product.exe", "", true, false},
      // Reached through its short form only.
      {product, "C:\\Progra~1\\Vendor\\Product.exe", "C:\\PROGRA~1\\Vendor\\PRODUCT.EXE", true, true},
      // A requested file that does not exist has no short form; neither "" nor a stand-in
      // matches an unreadable process.
      {unreadable, "C:\\gone.exe", "", false, false},
      {unreadable, "   ", "", false, false},
      {ProcessFacts{"C:\\a.exe", "a.exe", ""}, "C:\\b.exe", "", false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ProcessMatches(c.process, c.wanted, c.wantedShort, false), c.loose) << c.wanted;
    EXPECT_EQ(ProcessMatches(c.process, c.wanted, c.wantedShort, true), c.strict) << c.wanted;
  }
}

TEST(ProcessMatch, MainWindowScores) {
  const uintptr_t none = 0;
  struct Case {
    const char* what;
    std::vector<WindowFacts> windows;
    std::vector<uint32_t> scores;
    int main;
  } cases[] = {
      {"a hidden untitled window has no score, so no main window", {{10, none, false, false}}, {0}, -1},
      {"titled hidden beats untitled visible", {{10, none, false, true}, {11, none, true, false}}, {1, 2}, 1},
      {"the first of equal scores wins", {{10, none, true, false}, {11, none, true, false}}, {2, 2}, 0},
      // 12 owns 13 directly and 14 through 13: two points, shifted.
      {"an owner of two windows beats both",
       {{13, 12, true, true}, {14, 12, true, true}, {12, none, false, false}},
       {3, 3, 8},
       2},
      {"an owner outside the process scores nothing", {{10, 99, true, false}}, {2}, 0},
      {"no windows", {}, {}, -1},
  };
  for (const Case& c : cases) {
    const std::vector<uint32_t> scores = ScoreWindows(c.windows);
    EXPECT_EQ(scores, c.scores) << c.what;
    EXPECT_EQ(ChooseMainWindow(scores), c.main) << c.what;
  }
}
