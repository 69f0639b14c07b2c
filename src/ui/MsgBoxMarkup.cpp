#include "ui/MsgBoxMarkup.h"

#include <algorithm>

#include "support/Text.h"

namespace stub {

const char* const MsgBoxButtonTexts = "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|";
const char* const MsgBoxCaptions = "|Error|Attention|Confirm|";

namespace {

// Fields of the button-text list.
enum { FieldOK, FieldCancel, FieldYes, FieldNo, FieldAbort, FieldRetry, FieldIgnore };

// The message as a chain of characters that only ever loses some. A removal joins its two
// neighbours, and a tag may form across the join ("<<B>B>" holds a second "<B>" once the
// first is gone), so each search goes on from where it last stopped, stepping back over the
// few characters before a join: every character is looked at a bounded number of times, and
// the markup of a long text takes time in proportion to its length.
class MarkupChain {
 public:
  explicit MarkupChain(const std::string& text) : text_(text), next_(text.size()), prev_(text.size()) {
    for (size_t i = 0; i < text.size(); ++i) {
      next_[i] = i + 1;
      prev_[i] = i == 0 ? kNone : i - 1;
    }
    last_ = text.empty() ? kNone : text.size() - 1;
    alive_.assign(text.size(), 1);
  }

  size_t End() const { return text_.size(); }
  size_t First() const { return first_; }

  // The first tag at or after from; End() when there is none.
  size_t Find(size_t from, const char* tag) const {
    for (size_t i = from; i != End(); i = next_[i])
      if (MatchesAt(i, tag)) return i;
    return End();
  }

  // Removes count characters from at on and returns the character after them (End() at the
  // end). from is moved back to the first character from which a tag could now start.
  size_t Remove(size_t at, size_t count, size_t& openFrom, size_t& closeFrom) {
    size_t before = prev_[at];
    size_t after = at;
    for (size_t k = 0; k < count && after != End(); ++k) {
      alive_[after] = 0;
      after = next_[after];
    }
    if (before == kNone) first_ = after;
    else next_[before] = after;
    if (after != End()) prev_[after] = before;
    else last_ = before;
    // A tag is at most four characters long: one that forms across the join starts at most
    // three characters before it.
    size_t back = after;
    for (int k = 0; k < 3; ++k) {
      size_t p = back == End() ? last_ : prev_[back];
      if (p == kNone) break;
      back = p;
    }
    if (openFrom > back || !Alive(openFrom)) openFrom = back;
    if (closeFrom > back || !Alive(closeFrom)) closeFrom = back;
    return after;
  }

  // The characters left, and for a character index (alive or not, or End()) the number of
  // characters left before it: the position that index stands for in the final text.
  std::string Text(std::vector<size_t>& positionOf) const {
    std::string out;
    out.reserve(text_.size());
    positionOf.assign(text_.size() + 1, 0);
    for (size_t i = 0; i < text_.size(); ++i) {
      positionOf[i] = out.size();
      if (alive_[i]) out += text_[i];
    }
    positionOf[text_.size()] = out.size();
    return out;
  }

 private:
  static const size_t kNone = static_cast<size_t>(-1);
  bool Alive(size_t i) const { return i == End() || alive_[i]; }
  bool MatchesAt(size_t i, const char* tag) const {
    for (; *tag; ++tag, i = next_[i])
      if (i == End() || UpperChar(text_[i]) != *tag) return false;
    return true;
  }

  const std::string& text_;
  std::vector<size_t> next_, prev_;
  std::vector<unsigned char> alive_;
  size_t first_ = 0;
  size_t last_;
};

}  // namespace

MarkedUpText ApplyMsgBoxMarkup(const std::string& marked) {
  std::string text = ExpandEscapes(marked);
  if (StartsWithText("<<B>", text, true)) text.erase(0, 1);
  MarkupChain chain(text);
  // Runs as character indices: the first character after the removed "<B>" and the removed
  // "</B>" itself; where they end up in the final text is counted at the end.
  std::vector<BoldRun> runs;
  size_t openFrom = chain.First(), closeFrom = chain.First();
  // Each "<B>" pairs with the first "</B>" still in the text; one that comes before it
  // leaves this "<B>" without effect.
  for (;;) {
    const size_t open = chain.Find(openFrom, "<B>");
    openFrom = open;
    if (open == chain.End()) break;
    const size_t openPosition = chain.Remove(open, 3, openFrom, closeFrom);
    const size_t close = chain.Find(closeFrom, "</B>");
    closeFrom = close;
    if (close == chain.End() || close < openPosition) continue;
    chain.Remove(close, 4, openFrom, closeFrom);
    if (close > openPosition) runs.push_back(BoldRun{openPosition, close});
  }
  for (;;) {
    const size_t close = chain.Find(closeFrom, "</B>");
    closeFrom = close;
    if (close == chain.End()) break;
    chain.Remove(close, 4, openFrom, closeFrom);
  }
  MarkedUpText out;
  std::vector<size_t> positionOf;
  out.text = chain.Text(positionOf);
  // Runs emptied by later removals select nothing.
  for (const BoldRun& run : runs) {
    const BoldRun shown{positionOf[run.start], positionOf[run.end]};
    if (shown.end > shown.start) out.bold.push_back(shown);
  }
  return out;
}

std::string MsgBoxPathText(const std::string& path) {
  if (path.size() <= MsgBoxPathLimit) return path;
  const size_t head = (MsgBoxPathLimit - 3) / 2;
  const size_t tail = MsgBoxPathLimit - 3 - head;
  return path.substr(0, head) + "..." + path.substr(path.size() - tail);
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
