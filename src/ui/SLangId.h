// Language identifiers: the system's language as an English name in capitals, used to pick
// the matching section of a package's language block.
#pragma once

#include <string>

namespace stub {

// The capital English name for a language identifier, or empty.
std::string LanguageNameFromId(int id);
// LanguageNameFromId of the system's language, read once per process.
std::string CurrentLanguageName();
// The primary language of the thread's locale (9, English, when it gives none).
int SystemLanguageId();
// Tests pin the system language; a negative id returns to the real one.
void SetSystemLanguageIdForTesting(int id);
// The platform's answer; implemented once for Windows and once for the host.
int QuerySystemLanguageId();

}  // namespace stub
