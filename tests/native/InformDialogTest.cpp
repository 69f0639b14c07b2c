// The inform dialog's rules without a window: inform files plain and scrambled, the links
// that may be opened, the faces of its fonts and where its window and controls go.
#include <gtest/gtest.h>

#include <string>

#include "autoupdate/StubInformDlgCore.h"
#include "package/Token.h"
#include "support/Scramble.h"

using namespace stub;

namespace {

TEST(InformFile, PartsTokenAndText) {
  const std::string token = ScrambleToken("the product's secret", 7);
  struct Case {
    std::string file;
    std::string text;
    bool tokenRead;
  } cases[] = {
      {"Acme|" + token + "|2.0|x|New: <b>faster</b>\r\n", "New: <b>faster</b>\r\n", true},
      // The text keeps every "|" after the fourth.
      {"|" + token + "|||a|b||c|", "a|b||c|", true},
      {"|" + token + "|||", "", true},
      // Fewer than four "|": no text; fewer than two: no token either.
      {"Acme|" + token + "|2.0|only three", "", true},
      {"Acme|" + token + "|", "", true},
      {"Acme|" + token, "", false},
      {"no separator at all", "", false},
      {"", "", false},
  };
  for (const Case& c : cases) {
    InformFile parsed = ParseInformFile(c.file);
    EXPECT_EQ(parsed.text, c.text) << c.file;
    EXPECT_EQ(parsed.token == "the product's secret", c.tokenRead) << c.file;
    // Scrambled, with and without hexadecimal digits, the file reads the same.
    InformFile scrambled = ParseInformFile(ScrambleText(c.file, true, false, 99));
    EXPECT_EQ(scrambled.text, c.text) << c.file;
    EXPECT_EQ(scrambled.token == "the product's secret", c.tokenRead) << c.file;
  }
  // A token that is not well formed never reads as a valid one, nor as an empty one.
  InformFile bad = ParseInformFile("x|NOT A TOKEN|||text");
  EXPECT_EQ(bad.text, "text");
  EXPECT_FALSE(bad.token.empty());
  EXPECT_NE(bad.token, "NOT A TOKEN");
}

TEST(InformDialog, OnlyWebLinksAreOpened) {
  struct {
    const char* link;
    bool web;
  } cases[] = {
      {"http://example.com/new", true},
      {"HTTPS://example.com/a?b=c&d=%20e", true},
      {"http://127.0.0.1:8080/", true},
      {"http://", false},
      {"https:///path", false},
      {"file:///C:/Windows/notepad.exe", false},
      {"C:\\Windows\\notepad.exe", false},
      {"\\\\server\\share\\setup.exe", false},
      {"mailto:sales@example.com", false},
      {"javascript:alert(1)", false},
      {"ftp://example.com/x", false},
      {"www.example.com", false},
      {"httpx://example.com", false},
      // Characters that could end the address early in a browser's command line.
      {"http://example.com/\" --some-switch", false},
      {"http://example.com/a b", false},
      {"http://example.com/\r\nx", false},
      {" http://example.com", false},  // callers trim first
      {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsWebLink(c.link), c.web) << c.link;
}

TEST(InformDialog, FontFaces) {
  EXPECT_EQ(InformTextFace("Tahoma"), "Verdana");
  EXPECT_EQ(InformTextFace("tahoma "), "Verdana");
  EXPECT_EQ(InformTextFace(""), "Verdana");
  EXPECT_EQ(InformTextFace("Arial"), "Arial");
  EXPECT_EQ(InformTextFace("MS PGothic"), "MS PGothic");
}

TEST(InformDialog, WindowAndControls) {
  struct Case {
    int width, height;
    LayoutRect expected;
  } windows[] = {
      {360, 360, {460, 332, 360, 360}},
      {500, 300, {390, 362, 500, 300}},
      {0, 0, {460, 332, 360, 360}},  // missing sizes give the default
      {-5, 200, {460, 412, 360, 200}},
      {1500, 1200, {-110, -88, 1500, 1200}},  // larger than the screen: rounded toward zero
      {1281, 1025, {0, 0, 1281, 1025}},
  };
  for (const Case& c : windows) {
    LayoutRect r = InformWindowRect(c.width, c.height, 1280, 1024);
    EXPECT_EQ(r.x, c.expected.x) << c.width;
    EXPECT_EQ(r.y, c.expected.y) << c.height;
    EXPECT_EQ(r.width, c.expected.width);
    EXPECT_EQ(r.height, c.expected.height);
  }

  struct Layout {
    int clientWidth, clientHeight;
    bool link;
    LayoutRect text, button;
  } layouts[] = {
      {352, 326, true, {3, 0, 349, 283}, {96, 293, 160, 25}},
      {352, 326, false, {3, 0, 349, 326}, {0, 0, 0, 0}},
      {600, 500, true, {3, 0, 597, 457}, {220, 467, 160, 25}},
      // Narrower than the button: it is centred and cut at both sides; the text keeps a
      // size of at least 0.
      {100, 30, true, {3, 0, 97, 0}, {-30, -3, 160, 25}},
      {2, 0, false, {3, 0, 0, 0}, {0, 0, 0, 0}},
  };
  for (const Layout& c : layouts) {
    InformLayout l = LayOutInformDialog(c.clientWidth, c.clientHeight, c.link);
    std::string at = std::to_string(c.clientWidth) + "x" + std::to_string(c.clientHeight) + (c.link ? " link" : "");
    EXPECT_EQ(l.withButton, c.link) << at;
    EXPECT_EQ(l.text.x, c.text.x) << at;
    EXPECT_EQ(l.text.y, c.text.y) << at;
    EXPECT_EQ(l.text.width, c.text.width) << at;
    EXPECT_EQ(l.text.height, c.text.height) << at;
    if (c.link) {
      EXPECT_EQ(l.button.x, c.button.x) << at;
      EXPECT_EQ(l.button.y, c.button.y) << at;
      EXPECT_EQ(l.button.width, 160) << at;
      EXPECT_EQ(l.button.height, 25) << at;
      EXPECT_EQ(l.lineY, c.clientHeight - 43) << at;
      EXPECT_EQ(l.bandTop, c.clientHeight - 42) << at;
    }
  }

  // Left to right and right to left differ only in alignment and reading order.
  EXPECT_EQ(InformTextStyle(false), 0x50201804u);
  EXPECT_EQ(InformTextStyle(true), 0x50201806u);
  EXPECT_EQ(InformTextExStyle(false), 0u);
  EXPECT_EQ(InformTextExStyle(true), 0x2000u);
}

}  // namespace
