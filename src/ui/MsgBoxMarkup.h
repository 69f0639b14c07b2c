// The parts of the message box that are plain arithmetic over texts and numbers: the markup
// of the message, the button sets, the keyboard's choice of a button, the measurement of the
// text and the layout of the box. The window code in VMsgBox.cpp only asks the system for
// sizes and puts the results on the screen.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace stub {

// Style flags of a box; the low ones are those of the system message box.
const uint32_t MsgBoxButtonSetMask = 0xF;
const uint32_t MsgBoxIconMask = 0xF0;
const uint32_t MsgBoxDefaultMask = 0xF00;
const uint32_t MsgBoxAlwaysFlags = 0x52000;     // task-modal, foreground, top-most
const uint32_t MsgBoxRightAligned = 0x80000;
const uint32_t MsgBoxRightToLeft = 0x100000;
const uint32_t MsgBoxNoClose = 0x10000000;      // the Close command is greyed

// The button texts and captions used when a caller gives none.
extern const char* const MsgBoxButtonTexts;   // "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|"
extern const char* const MsgBoxCaptions;      // "|Error|Attention|Confirm|"

// The message text with its markup applied, and where its bold runs lie: [start, end) in
// characters of the final text (a line break counts as its two characters).
struct BoldRun {
  size_t start;
  size_t end;
};
struct MarkedUpText {
  std::string text;
  std::vector<BoldRun> bold;
};
MarkedUpText ApplyMsgBoxMarkup(const std::string& marked);

// A path as a box shows it: at most MsgBoxPathLimit characters, with the middle cut out and
// "..." in its place, so that the drive, the first folders and the file name stay readable.
// A path from a damaged package can be any length; a box of 100 KB helps nobody.
const size_t MsgBoxPathLimit = 260;
std::string MsgBoxPathText(const std::string& path);

// The text of a box shown with ownerMode 0: the caption as a bold heading above the message.
std::string MsgBoxHeading(const std::string& caption, const std::string& text);
// The flags ShowMessageBox passes on for an owner mode and a character set.
uint32_t MsgBoxFlagsFor(intptr_t ownerMode, uint32_t flags, int charset);

// One button of a set: its field in the button-text list and the number it returns.
struct MsgBoxButton {
  int field;
  int result;
};
std::vector<MsgBoxButton> MsgBoxButtons(uint32_t flags);
size_t DefaultButtonIndex(uint32_t flags, size_t count);
// The letter that chooses a button, upper-cased: the one after "&", or the first character
// when the text has no "&"; 0 when there is none.
char ButtonMnemonic(const std::string& text);
// The button whose mnemonic is c (case ignored), or -1.
int ButtonForCharacter(const std::vector<std::string>& texts, char c);
// Focus moves between buttons in a cycle; current -1 means none of them has the focus.
int StepButton(int current, int count, bool forward);
// The system icon number for the icon bits, 0 for the program's own icon, -1 for none.
int MsgBoxIconId(uint32_t flags);

// Text measurement: the widest line plus 10 (at most 600) and the height the lines need when
// each wraps every 600 pixels. lineWidth gives the pixel width of one line.
struct TextSize {
  int width;
  int height;
};
TextSize MeasureMsgBoxText(const std::string& text, int lineHeight,
                           const std::function<int(const std::string&)>& lineWidth);

// Bold text is wider than measured: tries widths from width up in steps of 10 until the
// control needs no more than height. requestAt sets the control's width and returns the
// size it then asks for. Returns the width to keep.
int WidenForBold(int width, int height, const std::function<TextSize(int)>& requestAt);

// Box and control geometry. Rectangles are x, y, width, height.
struct LayoutRect {
  int x;
  int y;
  int width;
  int height;
};
struct FrameMetrics {
  int frameWidth;
  int frameHeight;
  int captionHeight;
};
const int MsgBoxStripWidth = 54;   // the coloured strip with the icon
const int MsgBoxBandHeight = 36;   // the button band below the lines
const int MsgBoxButtonWidth = 70;
const int MsgBoxButtonHeight = 23;
TextSize MsgBoxWindowSize(const TextSize& textControl, const FrameMetrics& frame);
LayoutRect TextControlRect(int clientWidth, int clientHeight, const TextSize& textControl);
LayoutRect ButtonRect(int clientWidth, int clientHeight, size_t index, size_t count);

}  // namespace stub
