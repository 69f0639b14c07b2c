// Text routines shared by every module: 8-bit ANSI strings, 1-based positions where a
// position is returned (0 = not found), case folding in the Windows-1252 code page.
// Portable: no system calls, built for Windows and natively.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <string>

// <windows.h> maps ReplaceText to a common-dialog function; ours is meant here.
#ifdef ReplaceText
#undef ReplaceText
#endif

namespace stub {

// Case folding and trimming.
char UpperChar(char c);
std::string UpperCase(const std::string& text);
bool SameText(const std::string& a, const std::string& b);   // equal, case ignored
bool SameTextTrim(const std::string& a, const std::string& b);
std::string Trim(const std::string& text);                   // blanks and control characters
std::string TrimLeft(const std::string& text);
std::string TrimRight(const std::string& text);

// Searching.
size_t PosText(const std::string& sub, const std::string& text);
size_t PosFrom(const std::string& sub, const std::string& text, long long start, bool ignoreCase);
size_t LastPos(const std::string& sub, const std::string& text);
bool StartsWithText(const std::string& prefix, const std::string& text, bool ignoreCase);
bool EndsWithText(const std::string& suffix, const std::string& text, bool ignoreCase);
std::string TextBefore(const std::string& text, const std::string& sub, const std::string& def);
std::string TextAfter(const std::string& text, const std::string& sub, const std::string& def);

// Rewriting.
std::string ReplaceChar(std::string text, char from, char to);
std::string ReverseText(const std::string& text);
// Replaces occurrences left to right; inserted text is never searched again. With first > 0
// the occurrences before the first-th are left alone; with limit > 0 the walk stops after
// limit occurrences (counted from the start, replaced or not).
std::string ReplaceText(const std::string& text, const std::string& search,
                        const std::string& replacement, int first = 0, int limit = 0);
std::string ReplaceTextCI(const std::string& text, const std::string& search,
                          const std::string& replacement, int first = 0, int limit = 0);
std::string Unquote(const std::string& text, char quote, bool force, bool once);
std::string UnquoteTrim(const std::string& text);
std::string ExpandEscapes(const std::string& text);

// Numbers as text.
// Decimal (optionally signed, optionally "$"/"0x" hexadecimal) to 64 bits; def when the
// trimmed text is not a number or does not fit.
int64_t ToInt64(const std::string& text, int64_t def);
std::string IntText(int64_t value);
std::string PadLeft(const std::string& text, int width, char fill);
std::string ZeroPad(int64_t number, int width);
std::string GroupThousands(const std::string& numberText);
std::string SizeText(double value, double divisor, int decimals, bool group);
// value with decimals (0 to 3) places, exactly as printf's "%.<decimals>f" writes it: the
// exact binary value rounded half to even, "-" for every negative value and for -0.
std::string FixedText(double value, int decimals);
std::string KBText(double value, int decimals, bool group);
std::string MBText(double value, int decimals, bool group);
const char* BoolText(bool b);
std::string HexEncode(const std::string& bytes);
std::string HexDecode(const std::string& text);
int64_t ParseIntBase(const std::string& text, int base);

// Paths.
std::string FolderSlash(const std::string& path, bool withSlash);
std::string StripSlash(const std::string& path);
std::string CollapseSlashes(const std::string& path, bool strip);
std::string FileNamePart(const std::string& path);   // text after the last "\" or ":"
std::string FolderPart(const std::string& path);     // text up to and including the last "\" or ":"
std::string NameWithoutExt(const std::string& path, bool allExtensions);
std::string ChangeFileExt(const std::string& path, const std::string& ext);

// Dates and times of the local clock, broken down; formatting never consults the system.
struct CivilTime {
  int year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0, millisecond = 0;
};
std::string DateText(const CivilTime& t);
std::string DateTimeText(const CivilTime& t);
// "dd/mm/yy HH:NN:SS" with the given separators; yyyy when fourDigitYear.
std::string StampText(const CivilTime& t, bool fourDigitYear, char dateSeparator = '/',
                      char timeSeparator = ':');

// printf into a std::string. On Windows this is the system's printf (msvcrt): give it
// integers and strings, and numbers with decimal places to FixedText, as the rounding of its
// "%f" is not the C library's.
std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// The platform's vsnprintf with the C99 result: the length of the whole text, of which the
// first size - 1 characters and a terminating 0 land in buffer. Defined once for Windows and
// once for the host.
int FormatArgs(char* buffer, size_t size, const char* fmt, va_list args);

// Makes text size characters long; false, and text as it was, when that much memory cannot
// be had. For sizes read from files: the stub is built without exceptions, so a plain resize
// that fails ends the program.
bool TryResize(std::string& text, size_t size);

}  // namespace stub
