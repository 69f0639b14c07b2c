// libFuzzer target over every parser of package and command-line data; see scripts/fuzz.sh.
#include "FuzzEntry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FeedParsers(data, size);
  return 0;
}
