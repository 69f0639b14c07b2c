// The message box's markup, button sets, keyboard choices, text measurement and layout
// numbers, without a window.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "ui/MsgBoxMarkup.h"

using namespace stub;

namespace {

std::string RunsText(const MarkedUpText& m) {
  std::string out;
  for (const BoldRun& r : m.bold) out += "[" + std::to_string(r.start) + "," + std::to_string(r.end) + ")";
  return out;
}

TEST(MsgBoxMarkup, TextAndBoldRuns) {
  struct Case {
    const char* marked;
    const char* text;
    const char* runs;
  } cases[] = {
      // An unclosed "<B>" disappears and makes nothing bold.
      {"<b>a</b> b <B>c", "a b c", "[0,1)"},
      {"<b>one</b> and <B>two</b>", "one and two", "[0,3)[8,11)"},
      // Paragraphs and tabs in any case; the escapes in exact case only.
      {"Line<P>two<t>x\\\\n y\\\\tz \\\\N", "Line\r\ntwo\tx\r\n y\tz \\\\N", ""},
      // A bold run counts a line break as two characters.
      {"<b>a<p>b</b>c", "a\r\nbc", "[0,4)"},
      // A "</B>" before the "<B>" is the first one still in the text: nothing is bold.
      {"</b>x<b>y</b>", "xy", ""},
      {"x</b>y", "xy", ""},
      {"<B>unclosed", "unclosed", ""},
      // An empty pair is used up and does not take a later run's "</B>".
      {"<b></b>x<b>y</b>", "xy", "[1,2)"},
      // A second "<B>" inside a run pairs with the next "</B>"; offsets follow the removals.
      {"<b>a<b>b</b>c</b>", "abc", "[0,2)[1,3)"},
      // "<<b>" at the very start leaves a bold tag; elsewhere the first "<" stays.
      {"<<b>Error</b><P><P>text<P>", "Error\r\n\r\ntext\r\n", "[0,5)"},
      {"<<B>x</B>", "x", "[0,1)"},
      {"a<<b>x</b>", "a<x", "[2,3)"},
      // A tag that forms where another was taken out counts like one typed.
      {"a<<B>B>x</B>y", "axy", "[1,2)"},
      {"<B>x</</B>B>y", "xy", "[0,1)"},
      {"</<B>B>x<b>y</b>", "xy", ""},
      {"<b>a</b<B>>c</b>", "ac", "[0,2)"},
      {"<</b>b>z</b>", "<b>z", ""},
      // Other tags are shown as typed.
      {"<i>x</i> <bold> <b >", "<i>x</i> <bold> <b >", ""},
      {"", "", ""},
  };
  for (const Case& c : cases) {
    MarkedUpText m = ApplyMsgBoxMarkup(c.marked);
    EXPECT_EQ(m.text, c.text) << c.marked;
    EXPECT_EQ(RunsText(m), c.runs) << c.marked;
  }
}

std::string Repeat(const std::string& piece, size_t times) {
  std::string out;
  for (size_t i = 0; i < times; ++i) out += piece;
  return out;
}

// Texts of 100 KB and more, as a damaged package or description file may hold: the markup
// is applied in one pass, and still exactly.
TEST(MsgBoxMarkup, LongTextsAreMarkedUpExactly) {
  const size_t n = 30000;
  MarkedUpText pairs = ApplyMsgBoxMarkup(Repeat("<b>x</B>", n));
  EXPECT_EQ(pairs.text, std::string(n, 'x'));
  ASSERT_EQ(pairs.bold.size(), n);
  size_t wrong = 0;
  for (size_t i = 0; i < n; ++i) wrong += pairs.bold[i].start != i || pairs.bold[i].end != i + 1;
  EXPECT_EQ(wrong, 0u);

  // Each "<B>" takes the first "</B>" still there; the later removals shrink every run to "y".
  MarkedUpText nested = ApplyMsgBoxMarkup(Repeat("<B>", n) + "y" + Repeat("</B>", n));
  EXPECT_EQ(nested.text, "y");
  ASSERT_EQ(nested.bold.size(), n);
  wrong = 0;
  for (const BoldRun& run : nested.bold) wrong += run.start != 0 || run.end != 1;
  EXPECT_EQ(wrong, 0u);

  MarkedUpText stray = ApplyMsgBoxMarkup(Repeat("</B>", n) + Repeat("<B>", n) + "z" + Repeat("<P>", n));
  EXPECT_EQ(stray.text, "z" + Repeat("\r\n", n));
  EXPECT_TRUE(stray.bold.empty());
}

TEST(MsgBoxMarkup, LongPathsAreCutInTheMiddle) {
  const std::string shortPath = "C:\\Temp\\SETUP_1\\" + std::string(200, 'a') + ".txt";
  EXPECT_EQ(MsgBoxPathText(shortPath), shortPath);
  const std::string exact(MsgBoxPathLimit, 'p');
  EXPECT_EQ(MsgBoxPathText(exact), exact);
  const std::string longPath = "C:\\Temp\\SETUP_1\\" + std::string(100000, 'd') + "\\evil.exe";
  const std::string shown = MsgBoxPathText(longPath);
  EXPECT_EQ(shown.size(), MsgBoxPathLimit);
  EXPECT_EQ(shown.substr(0, 16), "C:\\Temp\\SETUP_1\\");
  EXPECT_NE(shown.find("..."), std::string::npos);
  EXPECT_EQ(shown.substr(shown.size() - 9), "\\evil.exe");
}

TEST(MsgBoxMarkup, HeadingOfOwnerModeZero) {
  struct Case {
    const char* caption;
    const char* heading;
  } cases[] = {
      {"Confirm", "CONFIRM"}, {"Error", "ERROR"}, {"Please", "Please"},
      // A plain, case-sensitive substring search in "|Error|Attention|Confirm|".
      {"Err", "ERR"}, {"error", "error"}, {"", ""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(MsgBoxHeading(c.caption, "Go?"), std::string("<<b>") + c.heading + "</b><P><P>Go?<P>") << c.caption;
  MarkedUpText m = ApplyMsgBoxMarkup(MsgBoxHeading("Confirm", "Go <b>now</b>?"));
  EXPECT_EQ(m.text, "CONFIRM\r\n\r\nGo now?\r\n");
  EXPECT_EQ(RunsText(m), "[0,7)[14,17)");
}

TEST(MsgBoxMarkup, FlagsAddedByShowMessageBox) {
  const uint32_t always = 0x52000;
  EXPECT_EQ(MsgBoxFlagsFor(0, 36, 0), 36u | always);
  EXPECT_EQ(MsgBoxFlagsFor(1, 16, 1), 16u | always);
  EXPECT_EQ(MsgBoxFlagsFor(2, 16, 0), 16u | always | 0x10000000u);
  EXPECT_EQ(MsgBoxFlagsFor(0x12340, 0, 177), always | 0x80000u | 0x100000u);
  EXPECT_EQ(MsgBoxFlagsFor(1, 0, 178), always | 0x80000u | 0x100000u);
  EXPECT_EQ(MsgBoxFlagsFor(1, 0, 186), always);
}

TEST(MsgBoxButtons, SetsOrderAndDefault) {
  std::map<uint32_t, std::vector<int>> results = {
      {0, {1}}, {1, {1, 2}}, {2, {3, 4, 5}}, {3, {6, 7, 2}}, {4, {6, 7}}, {5, {4, 2}},
      {7, {1}},  // an unknown set still has a way out
  };
  std::map<int, int> fieldOf = {{1, 0}, {2, 1}, {6, 2}, {7, 3}, {3, 4}, {4, 5}, {5, 6}};
  for (const auto& [set, expected] : results) {
    std::vector<int> got;
    for (const MsgBoxButton& b : MsgBoxButtons(set | 0x30)) {
      got.push_back(b.result);
      EXPECT_EQ(b.field, fieldOf[b.result]);
    }
    EXPECT_EQ(got, expected) << "set " << set;
  }
  EXPECT_EQ(DefaultButtonIndex(0x003, 3), 0u);
  EXPECT_EQ(DefaultButtonIndex(0x103, 3), 1u);
  EXPECT_EQ(DefaultButtonIndex(0x203, 3), 2u);
  EXPECT_EQ(DefaultButtonIndex(0x204, 2), 0u);  // modulo the number of buttons
  EXPECT_EQ(DefaultButtonIndex(0x300, 1), 0u);
}

TEST(MsgBoxButtons, MnemonicsAndFocusSteps) {
  EXPECT_EQ(ButtonMnemonic("&Yes"), 'Y');
  EXPECT_EQ(ButtonMnemonic("Ja&wohl"), 'W');
  EXPECT_EQ(ButtonMnemonic("OK"), 'O');  // no "&": the first character
  EXPECT_EQ(ButtonMnemonic("\xE4nde&"), 0);
  EXPECT_EQ(ButtonMnemonic("&\xE4ndern"), '\xC4');  // upper-cased in the ANSI code page
  EXPECT_EQ(ButtonMnemonic(""), 0);

  std::vector<std::string> yesNoCancel = {"&Yes", "&No", "&Cancel"};
  EXPECT_EQ(ButtonForCharacter(yesNoCancel, 'n'), 1);
  EXPECT_EQ(ButtonForCharacter(yesNoCancel, 'C'), 2);
  EXPECT_EQ(ButtonForCharacter(yesNoCancel, 'e'), -1);  // only the marked letter counts
  EXPECT_EQ(ButtonForCharacter(yesNoCancel, 0), -1);
  EXPECT_EQ(ButtonForCharacter({"", "&"}, 0), -1);

  struct Step {
    int current, count;
    bool forward;
    int next;
  } steps[] = {{0, 3, true, 1}, {2, 3, true, 0}, {0, 3, false, 2}, {1, 3, false, 0},
               {-1, 3, true, 0}, {-1, 3, false, 2}, {0, 1, true, 0}, {0, 0, true, -1}};
  for (const Step& s : steps)
    EXPECT_EQ(StepButton(s.current, s.count, s.forward), s.next) << s.current << "/" << s.count;
}

TEST(MsgBoxIcons, FromTheIconBits) {
  EXPECT_EQ(MsgBoxIconId(0x00), 0);
  EXPECT_EQ(MsgBoxIconId(0x10), 32513);
  EXPECT_EQ(MsgBoxIconId(0x24), 32514);
  EXPECT_EQ(MsgBoxIconId(0x30), 32515);
  EXPECT_EQ(MsgBoxIconId(0x40), 32516);
  EXPECT_EQ(MsgBoxIconId(0x50), -1);
}

TEST(MsgBoxMeasure, LinesWidthsAndWrapping) {
  const int lh = 13;
  std::vector<std::string> asked;
  // Ten pixels per character, or the width written as "#NNNN".
  auto width = [&asked](const std::string& line) {
    asked.push_back(line);
    return line.size() > 1 && line[0] == '#' ? std::stoi(line.substr(1)) : static_cast<int>(line.size()) * 10;
  };
  struct Case {
    const char* text;
    int width, height;
  } cases[] = {
      {"short", 60, lh},
      {"#1500", 600, 3 * lh},  // wraps every 600 pixels; the width is capped
      {"#599", 600, lh},
      {"#600", 600, 2 * lh},
      {"", 20, lh},                     // an empty text counts as one blank
      {"ab\r\n", 30, lh},               // a break at the end opens no line
      {"ab\r\n\r\nabcd", 50, 3 * lh},   // an empty line inside counts
      {"a\rb\ncd", 30, 3 * lh},
  };
  for (const Case& c : cases) {
    asked.clear();
    TextSize s = MeasureMsgBoxText(c.text, lh, width);
    EXPECT_EQ(s.width, c.width) << c.text;
    EXPECT_EQ(s.height, c.height) << c.text;
    for (const std::string& line : asked) EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos);
  }
}

TEST(MsgBoxMeasure, WideningForBoldText) {
  // A control that needs two lines until it is 40 pixels wider than measured.
  std::vector<int> tried;
  int fitsAt = 140;
  auto control = [&](int width) {
    tried.push_back(width);
    return TextSize{width, width >= fitsAt ? 13 : 26};
  };
  EXPECT_EQ(WidenForBold(100, 13, control), 140);
  EXPECT_EQ(tried, (std::vector<int>{100, 110, 120, 130, 140}));

  // Never fits in 21 steps: the largest width the control asked for, plus 10.
  tried.clear();
  fitsAt = 100000;
  int askedWidth = 0;
  auto stubborn = [&](int width) {
    tried.push_back(width);
    askedWidth = width == 150 ? 777 : width;
    return TextSize{askedWidth, 26};
  };
  EXPECT_EQ(WidenForBold(100, 13, stubborn), 787);
  EXPECT_EQ(tried.size(), 21u);
  EXPECT_EQ(tried.back(), 300);
}

TEST(MsgBoxLayout, BoxTextControlAndButtons) {
  FrameMetrics frame = {3, 3, 18};
  struct Case {
    int w, h, boxWidth, boxHeight;
  } cases[] = {
      {60, 13, 360, 6 + 13 + 90 + 18 + 36},   // one short line: the least width
      {199, 38, 199 + 6 + 128 + 54, 6 + 38 + 90 + 18 + 36},
      {200, 39, 360, 6 + 39 + 64 + 18 + 36},  // the margin halves from 200 pixels on
      {610, 39, 610 + 6 + 64 + 54, 6 + 39 + 64 + 18 + 36},
  };
  for (const Case& c : cases) {
    TextSize box = MsgBoxWindowSize({c.w, c.h}, frame);
    EXPECT_EQ(box.width, c.boxWidth) << c.w;
    EXPECT_EQ(box.height, c.boxHeight) << c.h;
  }
  // The client area of a 360 x 163 box with those frames.
  LayoutRect text = TextControlRect(354, 139, {60, 13});
  EXPECT_EQ(text.x, (354 - 60 - 54) / 2 + 54);
  EXPECT_EQ(text.y, 45);
  EXPECT_EQ(text.width, 60);
  EXPECT_EQ(text.height, 139 - 45 - 39);

  std::vector<int> xs;
  for (size_t i = 0; i < 3; ++i) {
    LayoutRect b = ButtonRect(354, 139, i, 3);
    xs.push_back(b.x);
    EXPECT_EQ(b.y, 110);
    EXPECT_EQ(b.width, 70);
    EXPECT_EQ(b.height, 23);
  }
  EXPECT_EQ(xs, (std::vector<int>{134, 204, 274}));  // side by side, the last at W - 80
  EXPECT_EQ(ButtonRect(354, 139, 0, 1).x, 274);
}

}  // namespace
