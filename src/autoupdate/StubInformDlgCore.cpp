#include "autoupdate/StubInformDlgCore.h"

#include "package/Token.h"
#include "support/Scramble.h"
#include "support/Text.h"

namespace stub {

InformFile ParseInformFile(const std::string& fileText) {
  const std::string text = ScrambleText(fileText, false, false);
  size_t bar = text.find('|');
  std::string rest = bar == std::string::npos ? std::string() : text.substr(bar + 1);
  // The scrambled token, then two parts nobody reads; a part without a "|" after it ends
  // the file and leaves no text.
  std::string parts[3];
  for (std::string& part : parts) {
    bar = rest.find('|');
    if (bar == std::string::npos) {
      rest.clear();
      break;
    }
    part = rest.substr(0, bar);
    rest.erase(0, bar + 1);
  }
  InformFile file;
  file.tokenValid = TryDescrambleToken(parts[0], file.token);
  if (!file.tokenValid) file.token = DescrambleToken(parts[0]);
  file.text = rest;
  return file;
}

bool IsWebLink(const std::string& link) {
  size_t scheme = StartsWithText("http://", link, true) ? 7 : StartsWithText("https://", link, true) ? 8 : 0;
  if (scheme == 0 || link.size() == scheme || link[scheme] == '/') return false;
  for (char c : link) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u <= ' ' || u == 0x7F || c == '"') return false;
  }
  return true;
}

std::string InformTextFace(const std::string& fontName) {
  std::string face = Trim(fontName);
  return face.empty() || SameText(face, "Tahoma") ? "Verdana" : fontName;
}

LayoutRect InformWindowRect(int width, int height, int screenWidth, int screenHeight) {
  if (width <= 0) width = InformDefaultSize;
  if (height <= 0) height = InformDefaultSize;
  return LayoutRect{(screenWidth - width) / 2, (screenHeight - height) / 2, width, height};
}

// The window styles of the text control, as the system numbers them.
static const uint32_t kChild = 0x40000000, kVisible = 0x10000000, kVerticalScroll = 0x00200000;
static const uint32_t kWantReturn = 0x1000, kReadOnly = 0x0800, kMultiLine = 0x0004, kAlignRight = 0x0002;
static const uint32_t kRightToLeftReading = 0x2000;

uint32_t InformTextStyle(bool rightToLeft) {
  uint32_t style = kChild | kVisible | kVerticalScroll | kWantReturn | kReadOnly | kMultiLine;
  return rightToLeft ? style | kAlignRight : style;
}

uint32_t InformTextExStyle(bool rightToLeft) { return rightToLeft ? kRightToLeftReading : 0; }

static int NotNegative(int n) { return n < 0 ? 0 : n; }

InformLayout LayOutInformDialog(int clientWidth, int clientHeight, bool withLink) {
  InformLayout layout;
  const int band = withLink ? InformBandHeight : 0;
  layout.text = LayoutRect{3, 0, NotNegative(clientWidth - 3), NotNegative(clientHeight - band)};
  layout.withButton = withLink;
  layout.button = withLink ? LayoutRect{(clientWidth - InformButtonWidth) / 2, clientHeight - 33, InformButtonWidth,
                                        InformButtonHeight}
                           : LayoutRect{0, 0, 0, 0};
  layout.lineY = clientHeight - InformBandHeight;
  layout.bandTop = clientHeight - InformBandHeight + 1;
  return layout;
}

}  // namespace stub
