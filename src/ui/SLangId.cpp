#include "ui/SLangId.h"

#include "support/Text.h"
#include "support/VSUB.h"

namespace stub {

// 43 primary identifiers with the name padded to 13, then 8 full identifiers (primary and
// sub-language) padded to 21. Croatian and Serbian share 26; the first in this order wins.
static const char kLanguageTable[] =
    "|AFRIKAANS     = 54|ALBANIAN      = 28|ARABIC        = 01|BASQUE        = 45"
    "|BELARUSIAN    = 35|BULGARIAN     = 02|CATALAN       = 03|CHINESE       = 04"
    "|CROATIAN      = 26|CZECH         = 05|DANISH        = 06|DUTCH         = 19"
    "|ENGLISH       = 09|ESTONIAN      = 37|FAEROESE      = 56|FARSI         = 41"
    "|FINNISH       = 11|FRENCH        = 12|GERMAN        = 07|GREEK         = 08"
    "|HEBREW        = 13|HUNGARIAN     = 14|ICELANDIC     = 15|INDONESIAN    = 33"
    "|ITALIAN       = 16|JAPANESE      = 17|KOREAN        = 18|LATVIAN       = 38"
    "|LITHUANIAN    = 39|NORWEGIAN     = 20|POLISH        = 21|PORTUGUESE    = 22"
    "|ROMANIAN      = 24|RUSSIAN       = 25|SERBIAN       = 26|SLOVAK        = 27"
    "|SLOVENIAN     = 36|SPANISH       = 10|SWEDISH       = 29|THAI          = 30"
    "|TURKISH       = 31|UKRAINIAN     = 34|VIETNAMESE    = 42"
    "|CHINESE(SIMPLIFIED)  = 2052|CHINESE(TRADITIONAL) = 1028|DUTCH(FLEMISH)       = 2067"
    "|DUTCH(STANDARD)      = 1043|PORTUGUESE(PORTUGAL) = 2070|PORTUGUESE(BRAZIL)   = 1046"
    "|SERBIAN(LATIN)       = 2074|SERBIAN(CYRILIC)     = 3098|";

static int g_pinnedLanguageId = -1;  // set by tests; negative: ask the platform
static int g_systemLanguageId = -1;  // the platform's answer, read once

std::string LanguageNameFromId(int id) {
  std::string digits = ZeroPad(id, 2);
  const std::string table = kLanguageTable;
  const int count = SubCount(table);
  for (int i = 0; i < count; ++i) {
    std::string entry = SubGet(table, i);
    // The digits are searched in the whole entry, as the table has always been read.
    if (entry.find(digits) == std::string::npos) continue;
    size_t eq = entry.find('=');
    if (eq == std::string::npos || eq == 0) return std::string();
    return Trim(entry.substr(0, eq));
  }
  return std::string();
}

int SystemLanguageId() {
  if (g_pinnedLanguageId >= 0) return g_pinnedLanguageId;
  if (g_systemLanguageId < 0) g_systemLanguageId = QuerySystemLanguageId();
  return g_systemLanguageId;
}

void SetSystemLanguageIdForTesting(int id) { g_pinnedLanguageId = id; }

std::string CurrentLanguageName() { return LanguageNameFromId(SystemLanguageId()); }

}  // namespace stub
