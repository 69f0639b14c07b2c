#include <windows.h>

#include "ui/SLangId.h"

namespace stub {

int QuerySystemLanguageId() {
  int primary = static_cast<int>(GetThreadLocale() & 0x3FF);
  return primary ? primary : 9;
}

}  // namespace stub
