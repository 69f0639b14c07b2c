// Secret tokens as packages carry them: hexadecimal text shifted by 50, with a random lead
// and trail, a checksum byte and an XOR key around the clear text.
#pragma once

#include <cstdint>
#include <string>

namespace stub {

// The clear text of a scrambled token, or a random number 0..99998 as text when the token
// is not well formed, so that a broken token never equals a valid one.
std::string DescrambleToken(const std::string& text);
// The same rule, telling whether the token was well formed (the package tools report it).
bool TryDescrambleToken(const std::string& text, std::string& clear);
// The inverse, for the package tools; seed makes the output reproducible.
std::string ScrambleToken(const std::string& clear, uint32_t seed);

}  // namespace stub
