// The parts of the inform dialog that are plain rules over texts and numbers: reading an
// inform file, which links may be opened, the fonts' faces and where the window and its
// controls go. StubInformDlg.cpp puts the results on the screen.
#pragma once

#include <cstdint>
#include <string>

#include "ui/MsgBoxMarkup.h"

namespace stub {

// An inform file, plain or scrambled: "x|TOKEN|x|x|the text ..." with the product token in
// its scrambled form. The text runs to the end of the file and may hold "|" itself; a file
// with fewer than four "|" has no text.
struct InformFile {
  std::string token;  // in clear
  bool tokenValid = false;  // the token was well formed (else token is a random number)
  std::string text;
};
InformFile ParseInformFile(const std::string& fileText);

// Only web pages are handed to the shell: "http://" or "https://" (any case) and a host,
// with no blank, control character or double quote that could end the address early in a
// browser's command line.
bool IsWebLink(const std::string& link);

// The text's face: "Verdana", or the configured face unless that is empty or "Tahoma".
std::string InformTextFace(const std::string& fontName);

const int InformDefaultSize = 360;
const int InformTextHeight = 15;    // cell height of the text font, in pixels
const int InformBandHeight = 43;    // the band with the button below the text
const int InformButtonWidth = 160;
const int InformButtonHeight = 25;

// The window's rectangle, centred on a screen; a width or height that is not positive is
// taken as the default, so the window can always be seen and closed.
LayoutRect InformWindowRect(int width, int height, int screenWidth, int screenHeight);

// The text control's styles (child, visible, vertical scroll bar, read-only, multi-line,
// wants Return; aligned right and read right to left when asked).
uint32_t InformTextStyle(bool rightToLeft);
uint32_t InformTextExStyle(bool rightToLeft);

// The controls for a client size. Without a link there is no button and the text takes
// the whole client area; with one, a line at lineY and the band below it hold the button.
struct InformLayout {
  LayoutRect text;
  bool withButton;
  LayoutRect button;
  int lineY;
  int bandTop;
};
InformLayout LayOutInformDialog(int clientWidth, int clientHeight, bool withLink);

}  // namespace stub
