#include "ui/MsgBoxMarkup.h"

#include <algorithm>

#include "support/Text.h"

namespace stub {

const char* const MsgBoxButtonTexts = "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|";
const char* const MsgBoxCaptions = "|Error|Attention|Confirm|";

namespace {

// Fields of the button-text list.
enum { FieldOK, FieldCancel, FieldYes, FieldNo, FieldAbort, FieldRetry, FieldIgnore };

// Removes len characters at pos from the text and its upper-cased twin, and keeps the bold
// runs found so far pointing at the same characters.
struct MarkupEditor {
  std::string text;
  std::string upper;
  std::vector<BoldRun> bold;

  static void Shift(size_t& offset, size_t pos, size_t len) {
    if (offset >= pos + len) offset -= len;
    else if (offset > pos) offset = pos;
  }
  void Remove(size_t pos, size_t len) {
    text.erase(pos, len);
    upper.erase(pos, len);
    for (BoldRun& run : bold) {
      Shift(run.start, pos, len);
      Shift(run.end, pos, len);
    }
  }
};

}  // namespace

MarkedUpText ApplyMsgBoxMarkup(const std::string& marked) {
  MarkupEditor e;
  e.text = ExpandEscapes(marked);
  if (StartsWithText("<<B>", e.text, true)) e.text.erase(0, 1);
  e.upper = UpperCase(e.text);
  // Each "<B>" pairs with the first "</B>" still in the text; one that comes before it
  // leaves this "<B>" without effect.
  for (size_t open; (open = e.upper.find("<B>")) != std::string::npos;) {
    e.Remove(open, 3);
    size_t close = e.upper.find("</B>");
    if (close == std::string::npos || close < open) continue;
    e.Remove(close, 4);
    if (close > open) e.bold.push_back(BoldRun{open, close});
  }
  for (size_t close; (close = e.upper.find("</B>")) != std::string::npos;) e.Remove(close, 4);
  // Runs emptied by later removals select nothing.
  e.bold.erase(std::remove_if(e.bold.begin(), e.bold.end(), [](const BoldRun& r) { return r.end <= r.start; }),
               e.bold.end());
  return MarkedUpText{e.text, e.bold};
}

std::string MsgBoxHeading(const std::string& caption, const std::string& text) {
  std::string heading = caption;
  if (!caption.empty() && std::string(MsgBoxCaptions).find(caption) != std::string::npos)
    heading = UpperCase(caption);
  return "<<b>" + heading + "</b><P><P>" + text + "<P>";
}

uint32_t MsgBoxFlagsFor(intptr_t ownerMode, uint32_t flags, int charset) {
  flags |= MsgBoxAlwaysFlags;
  if (ownerMode == 2) flags |= MsgBoxNoClose;
  if (charset == 177 || charset == 178) flags |= MsgBoxRightAligned | MsgBoxRightToLeft;
  return flags;
}

std::vector<MsgBoxButton> MsgBoxButtons(uint32_t flags) {
  switch (flags & MsgBoxButtonSetMask) {
    case 1: return {{FieldOK, 1}, {FieldCancel, 2}};
    case 2: return {{FieldAbort, 3}, {FieldRetry, 4}, {FieldIgnore, 5}};
    case 3: return {{FieldYes, 6}, {FieldNo, 7}, {FieldCancel, 2}};
    case 4: return {{FieldYes, 6}, {FieldNo, 7}};
    case 5: return {{FieldRetry, 4}, {FieldCancel, 2}};
    // Unknown sets get an OK button: a box without buttons and without a Close command
    // could never be left.
    default: return {{FieldOK, 1}};
  }
}

size_t DefaultButtonIndex(uint32_t flags, size_t count) {
  if (count == 0) return 0;
  return ((flags & MsgBoxDefaultMask) >> 8) % count;
}

char ButtonMnemonic(const std::string& text) {
  size_t amp = text.find('&');
  if (amp == std::string::npos) return text.empty() ? 0 : UpperChar(text[0]);
  return amp + 1 < text.size() ? UpperChar(text[amp + 1]) : 0;
}

int ButtonForCharacter(const std::vector<std::string>& texts, char c) {
  char wanted = UpperChar(c);
  if (wanted == 0) return -1;
  for (size_t i = 0; i < texts.size(); ++i)
    if (ButtonMnemonic(texts[i]) == wanted) return static_cast<int>(i);
  return -1;
}

int StepButton(int current, int count, bool forward) {
  if (count <= 0) return -1;
  if (current < 0 || current >= count) return forward ? 0 : count - 1;
  return forward ? (current + 1) % count : (current + count - 1) % count;
}

int MsgBoxIconId(uint32_t flags) {
  switch (flags & MsgBoxIconMask) {
    case 0x00: return 0;
    case 0x10: return 32513;  // stop
    case 0x20: return 32514;  // question
    case 0x30: return 32515;  // exclamation
    case 0x40: return 32516;  // information
    default: return -1;
  }
}

TextSize MeasureMsgBoxText(const std::string& text, int lineHeight,
                           const std::function<int(const std::string&)>& lineWidth) {
  const int wrapWidth = 600;
  std::vector<std::string> lines;
  const std::string& source = text.empty() ? std::string(" ") : text;
  size_t begin = 0;
  for (size_t i = 0; i <= source.size(); ++i) {
    if (i < source.size() && source[i] != '\r' && source[i] != '\n') continue;
    lines.push_back(source.substr(begin, i - begin));
    if (i + 1 < source.size() && source[i] == '\r' && source[i + 1] == '\n') ++i;
    begin = i + 1;
  }
  TextSize size{0, 0};
  for (size_t i = 0; i < lines.size(); ++i) {
    // A line break at the very end opens no line of its own.
    if (lines[i].empty() && i + 1 == lines.size()) continue;
    int w = lineWidth(lines[i]);
    size.width = std::max(size.width, w + 10);
    size.height += (w / wrapWidth + 1) * lineHeight;
  }
  size.width = std::min(size.width, wrapWidth);
  return size;
}

int WidenForBold(int width, int height, const std::function<TextSize(int)>& requestAt) {
  int largestRequested = 0;
  for (int step = 0; step <= 20; ++step) {
    int tried = width + step * 10;
    TextSize need = requestAt(tried);
    largestRequested = std::max(largestRequested, need.width);
    if (need.height <= height) return tried;
  }
  return largestRequested + 10;
}

TextSize MsgBoxWindowSize(const TextSize& textControl, const FrameMetrics& frame) {
  int margin = textControl.width < 200 ? 64 : 32;
  TextSize box;
  box.width = std::max(360, textControl.width + 2 * frame.frameWidth + 2 * margin + MsgBoxStripWidth);
  box.height = 2 * frame.frameHeight + textControl.height + (textControl.height < 39 ? 90 : 64) +
               frame.captionHeight + MsgBoxBandHeight;
  return box;
}

LayoutRect TextControlRect(int clientWidth, int clientHeight, const TextSize& textControl) {
  LayoutRect r;
  r.x = (clientWidth - textControl.width - MsgBoxStripWidth) / 2 + MsgBoxStripWidth;
  r.y = (clientHeight - textControl.height - MsgBoxBandHeight) / 2;
  r.width = textControl.width;
  r.height = clientHeight - r.y - 39;
  return r;
}

LayoutRect ButtonRect(int clientWidth, int clientHeight, size_t index, size_t count) {
  LayoutRect r;
  r.x = clientWidth - 80 - static_cast<int>(count - 1 - index) * MsgBoxButtonWidth;
  r.y = clientHeight - 29;
  r.width = MsgBoxButtonWidth;
  r.height = MsgBoxButtonHeight;
  return r;
}

}  // namespace stub
