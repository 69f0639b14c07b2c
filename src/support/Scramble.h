// The program's own keyless text obfuscation, used for inform files and package tokens.
#pragma once

#include <cstdint>
#include <string>

namespace stub {

// Encodes (adding the "Scrambled=01" marker and a key character) or decodes a text; with
// hex the encoded form is written as upper-case hexadecimal digits. Encoding a marked text
// or decoding an unmarked one returns it unchanged. keySeed chooses the key for encoding;
// 0 takes a fresh random key.
std::string ScrambleText(const std::string& text, bool encode, bool hex, uint32_t keySeed = 0);

}  // namespace stub
