// The SHA-256 of a file, from the system's CryptoAPI.
#pragma once

#include <string>

namespace stub {

// The file's SHA-256 as 64 lowercase hex digits; empty when the file cannot be read or the
// system offers no SHA-256.
std::string FileSha256(const std::string& path);

}  // namespace stub
