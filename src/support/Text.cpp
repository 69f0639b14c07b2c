#include "support/Text.h"

#include <cmath>
#include <cstdarg>
#include <cstring>
#include <new>
#include <vector>

namespace stub {

char UpperChar(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  if (u >= 'a' && u <= 'z') return static_cast<char>(u - 32);
  // Windows-1252: the accented small letters sit 32 above their capitals, except the
  // division sign; three letters of the 0x80 row and y-diaeresis have their own capitals.
  if (u >= 0xE0 && u <= 0xFE && u != 0xF7) return static_cast<char>(u - 32);
  switch (u) {
    case 0x9A: return static_cast<char>(0x8A);
    case 0x9C: return static_cast<char>(0x8C);
    case 0x9E: return static_cast<char>(0x8E);
    case 0xFF: return static_cast<char>(0x9F);
    default: return c;
  }
}

std::string UpperCase(const std::string& text) {
  std::string out = text;
  for (char& c : out) c = UpperChar(c);
  return out;
}

bool SameText(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (UpperChar(a[i]) != UpperChar(b[i])) return false;
  return true;
}

bool SameTextTrim(const std::string& a, const std::string& b) { return SameText(Trim(a), Trim(b)); }

static bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

std::string TrimLeft(const std::string& text) {
  size_t b = 0;
  while (b < text.size() && IsBlank(text[b])) ++b;
  return text.substr(b);
}

std::string TrimRight(const std::string& text) {
  size_t e = text.size();
  while (e > 0 && IsBlank(text[e - 1])) --e;
  return text.substr(0, e);
}

std::string Trim(const std::string& text) { return TrimLeft(TrimRight(text)); }

// 0-based index of sub in text at or after from, npos when absent.
static size_t Find(const std::string& sub, const std::string& text, size_t from, bool ignoreCase) {
  if (sub.empty() || from > text.size() || sub.size() > text.size() - from) return std::string::npos;
  if (!ignoreCase) return text.find(sub, from);
  for (size_t i = from; i + sub.size() <= text.size(); ++i) {
    size_t k = 0;
    while (k < sub.size() && UpperChar(text[i + k]) == UpperChar(sub[k])) ++k;
    if (k == sub.size()) return i;
  }
  return std::string::npos;
}

size_t PosText(const std::string& sub, const std::string& text) {
  size_t i = Find(sub, text, 0, true);
  return i == std::string::npos ? 0 : i + 1;
}

size_t PosFrom(const std::string& sub, const std::string& text, long long start, bool ignoreCase) {
  if (start < 1) start = 1;
  if (static_cast<unsigned long long>(start) > text.size()) return 0;
  size_t i = Find(sub, text, static_cast<size_t>(start - 1), ignoreCase);
  return i == std::string::npos ? 0 : i + 1;
}

size_t LastPos(const std::string& sub, const std::string& text) {
  if (sub.empty()) return 0;
  size_t i = text.rfind(sub);
  return i == std::string::npos ? 0 : i + 1;
}

bool StartsWithText(const std::string& prefix, const std::string& text, bool ignoreCase) {
  if (prefix.size() > text.size()) return false;
  std::string head = text.substr(0, prefix.size());
  return ignoreCase ? SameText(head, prefix) : head == prefix;
}

bool EndsWithText(const std::string& suffix, const std::string& text, bool ignoreCase) {
  if (suffix.size() > text.size()) return false;
  std::string tail = text.substr(text.size() - suffix.size());
  return ignoreCase ? SameText(tail, suffix) : tail == suffix;
}

std::string TextBefore(const std::string& text, const std::string& sub, const std::string& def) {
  size_t i = Find(sub, text, 0, false);
  return i == std::string::npos ? def : text.substr(0, i);
}

std::string TextAfter(const std::string& text, const std::string& sub, const std::string& def) {
  size_t i = Find(sub, text, 0, false);
  return i == std::string::npos ? def : text.substr(i + sub.size());
}

std::string ReplaceChar(std::string text, char from, char to) {
  for (char& c : text)
    if (c == from) c = to;
  return text;
}

std::string ReverseText(const std::string& text) { return std::string(text.rbegin(), text.rend()); }

static std::string Replace(const std::string& text, const std::string& search, const std::string& replacement,
                           int first, int limit, bool ignoreCase) {
  if (search.empty()) return text;
  std::string out;
  size_t from = 0;
  int seen = 0;
  for (;;) {
    size_t i = Find(search, text, from, ignoreCase);
    if (i == std::string::npos) break;
    ++seen;
    out.append(text, from, i - from);
    if (first > 0 && seen < first)
      out.append(text, i, search.size());
    else
      out += replacement;
    from = i + search.size();
    if (limit > 0 && seen >= limit) break;
  }
  out.append(text, from, std::string::npos);
  return out;
}

std::string ReplaceText(const std::string& text, const std::string& search, const std::string& replacement,
                        int first, int limit) {
  return Replace(text, search, replacement, first, limit, false);
}

std::string ReplaceTextCI(const std::string& text, const std::string& search, const std::string& replacement,
                          int first, int limit) {
  return Replace(text, search, replacement, first, limit, true);
}

std::string Unquote(const std::string& text, char quote, bool force, bool once) {
  if (text.size() == 1 && text[0] == quote) return std::string();
  bool both = text.size() >= 2 && text.front() == quote && text.back() == quote;
  if (!((force && text.size() > 1) || both)) return text;
  size_t b = 0, e = text.size();
  if (once) {
    if (b < e && text[b] == quote) ++b;
    if (e > b && text[e - 1] == quote) --e;
  } else {
    while (b < e && text[b] == quote) ++b;
    while (e > b && text[e - 1] == quote) --e;
  }
  return text.substr(b, e - b);
}

std::string UnquoteTrim(const std::string& text) {
  std::string t = Trim(text);
  size_t b = 0, e = t.size();
  while (b < e && t[b] == '"') ++b;
  while (e > b && t[e - 1] == '"') --e;
  return t.substr(b, e - b);
}

std::string ExpandEscapes(const std::string& text) {
  std::string t = ReplaceText(text, "\\\\n", "\r\n");
  t = ReplaceText(t, "\\\\t", "\t");
  t = ReplaceTextCI(t, "<P>", "\r\n");
  return ReplaceTextCI(t, "<T>", "\t");
}

int64_t ToInt64(const std::string& raw, int64_t def) {
  std::string text = Trim(raw);
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  unsigned base = 10;
  if (i < text.size() && text[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= text.size()) return def;
  uint64_t value = 0;
  const uint64_t limit = negative ? (uint64_t(1) << 63) : (uint64_t(1) << 63) - 1;
  for (; i < text.size(); ++i) {
    char c = UpperChar(text[i]);
    unsigned digit;
    if (c >= '0' && c <= '9') digit = unsigned(c - '0');
    else if (base == 16 && c >= 'A' && c <= 'F') digit = unsigned(c - 'A' + 10);
    else return def;
    if (value > (limit - digit) / base) return def;
    value = value * base + digit;
  }
  if (negative) return value == (uint64_t(1) << 63) ? INT64_MIN : -static_cast<int64_t>(value);
  return static_cast<int64_t>(value);
}

// The digits of value, with a "-" before them when negative is set.
static std::string DigitsText(uint64_t value, bool negative) {
  char buf[32];
  size_t n = sizeof buf;
  buf[--n] = 0;
  do {
    buf[--n] = char('0' + value % 10);
    value /= 10;
  } while (value);
  if (negative) buf[--n] = '-';
  return std::string(buf + n);
}

static std::string UIntText(uint64_t value) { return DigitsText(value, false); }

std::string IntText(int64_t value) {
  const bool negative = value < 0;
  return DigitsText(negative ? uint64_t(0) - uint64_t(value) : uint64_t(value), negative);
}

std::string PadLeft(const std::string& text, int width, char fill) {
  std::string t = text;
  if (width < -2) {
    size_t w = static_cast<size_t>(-width);
    if (t.size() > w) t = t.substr(0, w - 1) + ".";
    width = -width;
  }
  if (width <= 0 || t.size() >= static_cast<size_t>(width)) return t;
  return std::string(static_cast<size_t>(width) - t.size(), fill) + t;
}

std::string ZeroPad(int64_t number, int width) {
  if (number < 0) return "-" + PadLeft(IntText(number).substr(1), width - 1, '0');
  return PadLeft(IntText(number), width, '0');
}

std::string GroupThousands(const std::string& numberText) {
  size_t end = numberText.find('.');
  if (end == std::string::npos) end = numberText.size();
  size_t begin = 0;
  while (begin < end && (numberText[begin] < '0' || numberText[begin] > '9')) ++begin;
  std::string out = numberText.substr(end);
  int count = 0;
  for (size_t i = end; i > begin; --i) {
    if (count == 3) {
      out.insert(out.begin(), ',');
      count = 0;
    }
    out.insert(out.begin(), numberText[i - 1]);
    ++count;
  }
  return numberText.substr(0, begin) + out;
}

std::string SizeText(double value, double divisor, int decimals, bool group) {
  if (divisor == 0) divisor = 1;
  std::string text;
  if (decimals < 1) {
    text = IntText(static_cast<int64_t>(std::ceil(value / divisor)));
  } else {
    text = FixedText(value / divisor, 1);
  }
  return group ? GroupThousands(text) : text;
}

// The decimal digits of mantissa * 2^shift, exactly: in pieces of nine digits, doubled up to
// 29 times at once (a piece times 2^29 still fits 64 bits).
static std::string WholeText(uint64_t mantissa, int shift) {
  if (shift <= 10) return UIntText(mantissa << shift);
  std::vector<uint32_t> pieces;  // base 10^9, lowest first
  for (uint64_t m = mantissa; m; m /= 1000000000) pieces.push_back(static_cast<uint32_t>(m % 1000000000));
  while (shift > 0) {
    const int step = shift < 29 ? shift : 29;
    shift -= step;
    uint64_t carry = 0;
    for (uint32_t& piece : pieces) {
      const uint64_t v = (uint64_t(piece) << step) + carry;
      piece = static_cast<uint32_t>(v % 1000000000);
      carry = v / 1000000000;
    }
    while (carry) {
      pieces.push_back(static_cast<uint32_t>(carry % 1000000000));
      carry /= 1000000000;
    }
  }
  std::string text = UIntText(pieces.back());
  for (size_t i = pieces.size() - 1; i-- > 0;) text += PadLeft(UIntText(pieces[i]), 9, '0');
  return text;
}

std::string FixedText(double value, int decimals) {
  if (decimals < 0) decimals = 0;
  if (decimals > 3) decimals = 3;
  const std::string sign = std::signbit(value) ? "-" : "";
  if (std::isnan(value)) return sign + "nan";
  if (std::isinf(value)) return sign + "inf";
  // |value| = mantissa * 2^shift with a whole mantissa of at most 53 bits.
  int exponent = 0;
  const double fraction = std::frexp(std::fabs(value), &exponent);
  const uint64_t mantissa = static_cast<uint64_t>(std::ldexp(fraction, 53));
  const int shift = exponent - 53;
  std::string digits;  // |value| * 10^decimals, rounded half to even
  if (shift >= 0) {
    digits = WholeText(mantissa, shift) + std::string(static_cast<size_t>(decimals), '0');
  } else {
    uint64_t scaled = mantissa;  // below 2^53 * 1000, so below 2^63
    for (int i = 0; i < decimals; ++i) scaled *= 10;
    const int drop = -shift;
    uint64_t whole = 0;  // a drop of 64 bits or more leaves less than half a unit
    if (drop < 64) {
      whole = scaled >> drop;
      const uint64_t rest = scaled & ((uint64_t(1) << drop) - 1);
      const uint64_t half = uint64_t(1) << (drop - 1);
      if (rest > half || (rest == half && (whole & 1))) ++whole;
    }
    digits = UIntText(whole);
  }
  const size_t places = static_cast<size_t>(decimals);
  if (digits.size() <= places) digits.insert(0, places + 1 - digits.size(), '0');
  if (places) digits.insert(digits.size() - places, 1, '.');
  return sign + digits;
}

std::string KBText(double value, int decimals, bool group) { return SizeText(value, 1024, decimals, group); }
std::string MBText(double value, int decimals, bool group) { return SizeText(value, 1048576, decimals, group); }

const char* BoolText(bool b) { return b ? "TRUE" : "FALSE"; }

std::string HexEncode(const std::string& bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

std::string HexDecode(const std::string& text) {
  std::string out;
  for (size_t i = 0; i + 1 < text.size(); i += 2)
    out += static_cast<char>(ParseIntBase(text.substr(i, 2), 16) & 0xFF);
  return out;
}

int64_t ParseIntBase(const std::string& text, int base) {
  static const char digits[] = "0123456789ABCDEF";
  std::string t = UpperCase(Trim(text));
  uint64_t value = 0;
  for (char c : t) {
    const char* p = std::strchr(digits, c);
    // A character outside the digit table counts as 0, as a digit past the base does not.
    uint64_t digit = (p && c) ? uint64_t(p - digits) : 0;
    value = value * uint64_t(base) + digit;
  }
  return static_cast<int64_t>(value);
}

static bool IsLeadByteDBCS(unsigned char) { return false; }  // single-byte code pages only

std::string FolderSlash(const std::string& path, bool withSlash) {
  std::string p = path;
  if (p.size() > 2 && p.back() == '\\' && !IsLeadByteDBCS(static_cast<unsigned char>(p[p.size() - 2])))
    p.pop_back();
  if (withSlash) p += '\\';
  return p;
}

std::string StripSlash(const std::string& path) {
  if (path == "\\") return std::string();
  if (path.size() > 1 && path.back() == '\\') return path.substr(0, path.size() - 1);
  return path;
}

std::string CollapseSlashes(const std::string& path, bool strip) {
  std::string p = path;
  if (p.size() > 2) {
    std::string head = p.substr(0, 2) == "\\\\" ? "\\\\" : "";
    std::string rest = p.substr(head.size());
    std::string out;
    for (char c : rest) {
      if (c == '\\' && !out.empty() && out.back() == '\\') continue;
      out += c;
    }
    p = head + out;
  }
  return strip ? StripSlash(p) : p;
}

std::string FileNamePart(const std::string& path) {
  size_t i = path.find_last_of("\\:");
  return i == std::string::npos ? path : path.substr(i + 1);
}

std::string FolderPart(const std::string& path) {
  size_t i = path.find_last_of("\\:");
  return i == std::string::npos ? std::string() : path.substr(0, i + 1);
}

std::string NameWithoutExt(const std::string& path, bool allExtensions) {
  std::string name = FileNamePart(path);
  size_t dot = allExtensions ? name.find('.') : name.rfind('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

std::string ChangeFileExt(const std::string& path, const std::string& ext) {
  std::string folder = FolderPart(path);
  std::string name = path.substr(folder.size());
  size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.erase(dot);
  return folder + name + ext;
}

static const char kMonths[] = "||JAN|FEB|MAR|APR|MAY|JUN|JUL|AUG|SEP|OCT|NOV|DEC|";

std::string DateText(const CivilTime& t) {
  std::string month = "???";
  if (t.month >= 1 && t.month <= 12) month = std::string(kMonths + 2 + (t.month - 1) * 4, 3);
  return ZeroPad(t.day, 2) + "-" + month + "-" + ZeroPad(t.year, 4);
}

std::string DateTimeText(const CivilTime& t) {
  return DateText(t) + " " + ZeroPad(t.hour, 2) + ":" + ZeroPad(t.minute, 2) + ":" + ZeroPad(t.second, 2);
}

std::string StampText(const CivilTime& t, bool fourDigitYear, char dateSeparator, char timeSeparator) {
  std::string year = fourDigitYear ? ZeroPad(t.year, 4) : ZeroPad(t.year % 100, 2);
  std::string ds(1, dateSeparator), ts(1, timeSeparator);
  return ZeroPad(t.day, 2) + ds + ZeroPad(t.month, 2) + ds + year + " " + ZeroPad(t.hour, 2) + ts +
         ZeroPad(t.minute, 2) + ts + ZeroPad(t.second, 2);
}

std::string Format(const char* fmt, ...) {
  char small[512];
  va_list args;
  va_start(args, fmt);
  int n = FormatArgs(small, sizeof small, fmt, args);
  va_end(args);
  if (n < 0) return std::string();
  if (static_cast<size_t>(n) < sizeof small) return std::string(small, static_cast<size_t>(n));
  std::string big(static_cast<size_t>(n) + 1, '\0');
  va_start(args, fmt);
  FormatArgs(&big[0], big.size(), fmt, args);
  va_end(args);
  big.resize(static_cast<size_t>(n));
  return big;
}

bool TryResize(std::string& text, size_t size) {
  if (size <= text.capacity()) {
    text.resize(size);
    return true;
  }
  if (size >= text.max_size()) return false;
  void* probe = ::operator new(size + 1, std::nothrow);
  if (!probe) return false;
  ::operator delete(probe);
  // A string grown in place may ask for twice its capacity; a new one asks for exactly what
  // it reserves, which the probe has just seen free.
  std::string grown;
  grown.reserve(size);
  grown.append(text);
  grown.resize(size);
  text.swap(grown);
  return true;
}

}  // namespace stub
