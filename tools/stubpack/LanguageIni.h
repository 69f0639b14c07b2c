// The language file of a package: one INI section per language, written as the package's
// language block in the order of the file.
#pragma once

#include <string>
#include <vector>

namespace stubpack {

// Parses the INI text. A file in UTF-8 (with a byte order mark, or valid UTF-8 holding
// non-ASCII characters) is converted section by section into the ANSI code page that the
// section's Charset names; any other file is taken as ANSI bytes as they are. Throws input
// errors naming `fileName` and the line for what the stub cannot use (a malformed line, a
// section or key given twice, a Charset or FontSize it cannot read); adds warnings, with the
// line, for what it would never show or would show without its placeholder.
std::string LanguageBlockFromIni(const std::string& text, const std::string& fileName,
                                 std::vector<std::string>& warnings);

// The ANSI code page of a GDI character set (Charset=204 is 1251 ...); 1252 for 0 and
// unknown sets.
int CodePageOfCharset(int charset);

}  // namespace stubpack
