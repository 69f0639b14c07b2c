#include "FuzzEntry.h"

#include <string>

#include "package/GFileInfo.h"
#include "package/PackageLayout.h"
#include "package/Records.h"
#include "package/Token.h"
#include "package/ZLibOpen.h"
#include "support/Scramble.h"
#include "support/Switches.h"
#include "support/VSUB.h"

using namespace stub;

void FeedParsers(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  MemorySource source(bytes);
  TGFileInfo info(source);
  info.GetLangString("s0", "x");
  info.GetSecretToken(true);
  info.GetOriginalFileName();
  PackageChecksum(source, info.Trailer().TrailerSize());

  // Walk the record chain as extraction does, with a small ceiling on inflated output.
  SetDecompressLimitForTesting(1 << 20);
  const int64_t end = PackageEnd(source);
  int64_t position = info.Trailer().DataOffset();
  for (int i = 0; i < 64 && position + 74 < end; ++i) {
    RawRecord record = ReadRawRecord(source, position, end);
    if (position >= record.next) break;
    position = record.next;
    if (!record.complete) break;
    std::string content = record.bytes;
    if (record.compressed) {
      try {
        DecompressString(record.bytes, content);
      } catch (const EZLibError&) {
        continue;
      }
    }
    FileRecord file = ParseFileRecord(content);
    if (file.valid) IsSafeRelativePath(file.path);
  }
  SetDecompressLimitForTesting(0);

  DescrambleToken(bytes);
  ScrambleText(bytes, false, true);
  ParamValueIn(ParamTailOf(bytes, "C:\\x\\setup.exe"), "/SpanCdLvl=");
  SubValue(bytes, "s0", "a", "e");
  SubSet(bytes, 3, "v|w");
}
