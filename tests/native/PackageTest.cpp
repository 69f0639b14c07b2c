#include <gtest/gtest.h>

#include "FakeStub.h"

#include <cstring>

#include "PackageWriter.h"
#include "package/GFileInfo.h"
#include "package/PackageLayout.h"
#include "package/Records.h"
#include "package/Token.h"
#include "ui/SLangId.h"

using namespace stub;

namespace {


PackageSpec SampleSpec() {
  PackageSpec recipe;
  recipe.stub = FakeStub();
  recipe.languageBlock = LanguageBlockOf({LanguageSection("English", {"s0=Title", "Charset=0", "FontSize=9"})});
  recipe.settingsRecord = "|http://example.test/upd|Product.setup.info|Agent.exe|" + ScrambleToken("SECRET", 3) + "|1|";
  return recipe;
}

std::vector<PackageFile> SampleFiles() {
  PackageFile engine{"Engine.exe", std::string(5000, 'e'), 0x5A8C6000, true, "/L=1"};
  PackageFile readme{"docs\\readme.txt", "hello", 0x5A8C6000, false, ""};
  return {engine, readme};
}

TGFileInfo Read(const std::string& bytes) {
  MemorySource source(bytes);
  return TGFileInfo(source);
}

uint32_t U32At(const std::string& s, size_t at) { return ReadU32LE(reinterpret_cast<const uint8_t*>(&s[at])); }

}  // namespace

TEST(Package, WriterLayoutIsExact) {
  PackageSpec recipe = SampleSpec();
  std::vector<PackageFile> files = SampleFiles();
  std::string pkg = BuildPackage(recipe, files);
  const size_t end = pkg.size();
  EXPECT_EQ(U32At(pkg, 248), 0u);
  EXPECT_EQ(U32At(pkg, 252), end);
  const size_t t = end - 74;
  EXPECT_EQ(pkg[t], 1);
  EXPECT_EQ(pkg[t + 1], 2);
  EXPECT_EQ(U32At(pkg, t + 4), 1024u);
  EXPECT_EQ(U32At(pkg, t + 8), 2u);
  EXPECT_EQ(U32At(pkg, t + 12), 0x4A3B2C1Du);
  EXPECT_EQ(U32At(pkg, t + 28), 5005u);
  const uint32_t clusters[8] = {5120 + 512, 5120 + 1024, 6144 + 2048, 8192 + 4096,
                                8192 + 8192, 16384 + 16384, 32768 * 2, 65536 * 2};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(U32At(pkg, t + 32 + 4 * i), clusters[i]) << i;
  EXPECT_EQ(U32At(pkg, t + 70), 74u);
  // The lead records follow the stub without a gap, as plain text.
  EXPECT_EQ(U32At(pkg, 1024), recipe.languageBlock.size());
  EXPECT_EQ(pkg.substr(1028, recipe.languageBlock.size()), recipe.languageBlock);
  MemorySource source(pkg);
  EXPECT_EQ(U32At(pkg, t + 16), PackageChecksum(source, 74));
  EXPECT_EQ(FileRecordHeader(files[0]), "|Engine.exe*/L=1|1519149056|");
}

TEST(Package, ReaderRoundTrip) {
  ResetSelectedSectionForTesting();
  SetSystemLanguageIdForTesting(9);
  std::string pkg = BuildPackage(SampleSpec(), SampleFiles());
  TGFileInfo info = Read(pkg);
  EXPECT_EQ(info.Trailer().Signature(), kPackageSignature);
  EXPECT_EQ(info.GetUpdateURL(), "http://example.test/upd");
  EXPECT_EQ(info.GetInfoFileName(), "Product.setup.info");
  EXPECT_EQ(info.GetOriginalFileName(), "Product.original");
  EXPECT_EQ(info.GetAgentFileName(), "Agent.exe");
  EXPECT_EQ(info.GetSecretToken(true), "SECRET");
  EXPECT_TRUE(info.GetHideSetup());
  EXPECT_EQ(info.GetLangString("s0", "def"), "Title");
  EXPECT_EQ(info.GetFontSize(), 9);
  EXPECT_EQ(info.GetFontName(), "Tahoma");
  EXPECT_EQ(info.DownloadRecord(), "");
}

TEST(Package, SignatureAppendedAfterLogicalEnd) {
  std::string pkg = BuildPackage(SampleSpec(), SampleFiles());
  std::string signedPkg = pkg + std::string(3000, '\x5A');
  TGFileInfo info = Read(signedPkg);
  EXPECT_EQ(info.Trailer().Signature(), kPackageSignature);
  EXPECT_EQ(info.GetAgentFileName(), "Agent.exe");
  MemorySource a(pkg), b(signedPkg);
  EXPECT_EQ(PackageChecksum(a, 74), PackageChecksum(b, 74));
  // Without the logical length the trailer is looked for at the physical end.
  std::string bare = pkg;
  std::memset(&bare[248], 0, 8);
  EXPECT_EQ(Read(bare).Trailer().Signature(), kPackageSignature);
  EXPECT_EQ(Read(bare + "tail").Trailer().Signature(), 0u);
}

TEST(Package, TrailerSizes) {
  std::string pkg = BuildPackage(SampleSpec(), SampleFiles());
  std::memset(&pkg[248], 0, 8);  // physical end counts
  struct Case { uint32_t stored; uint32_t expectedSize; bool signatureRead; } cases[] = {
      {0, 0, false}, {1, 1, false}, {4, 4, false}, {16, 16, false}, {40, 40, false},
      {74, 74, true}, {75, 74, false}, {0xFFFFFFFF, 74, false},
  };
  for (const Case& c : cases) {
    std::string p = pkg;
    WriteU32LE(reinterpret_cast<uint8_t*>(&p[p.size() - 4]), c.stored);
    MemorySource source(p);
    PackageTrailer trailer;
    ReadTrailer(source, trailer);
    EXPECT_EQ(trailer.TrailerSize(), c.expectedSize) << c.stored;
    EXPECT_EQ(trailer.Signature() == kPackageSignature, c.signatureRead) << c.stored;
    EXPECT_NE(trailer.LeadRecordCount(), 0) << c.stored;  // 0 always reads as 2
  }
  // A stored size of 40 reads 36 bytes; the fields after them stay 0.
  std::string p = pkg.substr(0, pkg.size() - 74) + pkg.substr(pkg.size() - 74, 36) + std::string("\x28\0\0\0", 4);
  TGFileInfo info = Read(p);
  EXPECT_EQ(info.Trailer().TrailerSize(), 40u);
  EXPECT_EQ(info.Trailer().DataSize(), 5005u);
  EXPECT_EQ(info.Trailer().ClusterDataSize(1), 0u);
  EXPECT_EQ(info.Trailer().Flags(), 0);
}

TEST(Package, HostileFilesNeverCrashOrOverRead) {
  std::string pkg = BuildPackage(SampleSpec(), SampleFiles());
  const size_t t = pkg.size() - 74;
  auto withU32 = [&](size_t at, uint32_t v) {
    std::string p = pkg;
    WriteU32LE(reinterpret_cast<uint8_t*>(&p[at]), v);
    return p;
  };
  std::vector<std::string> inputs = {
      "", "M", "MZ", std::string(257, 'M'), FakeStub(258), pkg.substr(0, 300), pkg.substr(0, pkg.size() - 10),
      withU32(252, 0xFFFFFFF0u),                  // logical length past the end
      withU32(248, 0x80000000u),                  // negative logical length
      withU32(1024, 0x7FFFFFFFu),                 // language block longer than the file
      withU32(1024, 0x80000000u),                 // negative lead record length
      withU32(t + 4, 0xFFFFFF00u),                // data offset past the end
      withU32(t + 4, static_cast<uint32_t>(pkg.size() - 2)),
  };
  for (size_t i = 0; i < inputs.size(); ++i) {
    MemorySource source(inputs[i]);
    TGFileInfo info(source);
    EXPECT_LE(info.LanguageBlock().size(), inputs[i].size()) << i;
    EXPECT_LE(info.SettingsRecord().size(), inputs[i].size()) << i;
    PackageChecksum(source, 74);
  }
  // A language block that runs past the end is read as far as the file goes; one stated
  // longer than the reader's limit is not read at all.
  std::string p = withU32(1024, 100000);
  EXPECT_EQ(Read(p).LanguageBlock().size(), p.size() - 1028);
  EXPECT_EQ(Read(withU32(1024, 0x7FFFFFFFu)).LanguageBlock(), "");
}

TEST(Package, LeadRecordCountAndDownloadRecord) {
  PackageSpec recipe = SampleSpec();
  recipe.hasDownloadRecord = true;
  recipe.downloadRecord = "|http://dl.test/|Big.exe|1|" + ScrambleToken("DLTOKEN", 5) + "|123456789|";
  TGFileInfo info = Read(BuildPackage(recipe, {}));
  EXPECT_EQ(info.Trailer().LeadRecordCount(), 3);
  EXPECT_EQ(info.GetDownloadURL(), "http://dl.test/");
  EXPECT_EQ(info.GetDownloadFileName(), "Big.exe");
  EXPECT_TRUE(info.GetDownloadNoLocalCopy());
  EXPECT_EQ(info.GetDownloadToken(true), "DLTOKEN");
  EXPECT_EQ(info.GetDownloadSize(), "123456789");
  // A stored count of 0 reads as 2.
  std::string pkg = BuildPackage(SampleSpec(), {});
  pkg[pkg.size() - 73] = 0;
  EXPECT_EQ(Read(pkg).Trailer().LeadRecordCount(), 2);
}

TEST(Package, ChecksumFollowsTheRule) {
  // 512 bytes of header skipped, then words summed while more than 4 bytes of the covered
  // range remain after them, plus 1234 per block that ends with more than 4 left.
  std::string pkg = BuildPackage(SampleSpec(), SampleFiles());
  MemorySource source(pkg);
  int64_t remaining = int64_t(pkg.size()) - 74 - 512;
  uint32_t sum = 0;
  for (size_t block = 512; block < pkg.size(); block += 4096) {
    size_t got = std::min<size_t>(4096, pkg.size() - block);
    for (size_t i = 0; i + 4 <= got; i += 4) {
      remaining -= 4;
      if (remaining > 4) sum += U32At(pkg, block + i);
    }
    if (remaining > 4) sum += 1234;
  }
  // The stored checksum itself lies in the trailer, outside the covered range.
  EXPECT_EQ(PackageChecksum(source, 74), sum);
  std::string big = FakeStub(52428801);
  MemorySource bigSource(big);
  EXPECT_EQ(PackageChecksum(bigSource, 74), 1234u);
}

TEST(Package, SpaceNeededPicksTheLargestClusterNotAbove) {
  TGFileInfo info = Read(BuildPackage(SampleSpec(), SampleFiles()));
  const PackageTrailer& t = info.Trailer();
  EXPECT_EQ(SpaceNeededForCluster(t, 4096), t.ClusterDataSize(3));
  EXPECT_EQ(SpaceNeededForCluster(t, 3000), t.ClusterDataSize(2));
  EXPECT_EQ(SpaceNeededForCluster(t, 256), t.DataSize());
  EXPECT_EQ(SpaceNeededForCluster(t, 0), t.DataSize());
  EXPECT_EQ(SpaceNeededForCluster(t, 131072), t.ClusterDataSize(7));
}

TEST(Package, AgentCopyIsStubLeadRecordsAndTrailer) {
  std::string pkg = BuildPackage(SampleSpec(), SampleFiles());
  std::string copy = BuildAgentCopy(pkg);
  EXPECT_EQ(U32At(copy, 252), 0u);
  TGFileInfo info = Read(copy);
  EXPECT_TRUE(info.Trailer().AgentCopy());
  EXPECT_EQ(info.GetAgentFileName(), "Agent.exe");
  EXPECT_EQ(copy.size(), 1024 + 8 + SampleSpec().languageBlock.size() + SampleSpec().settingsRecord.size() + 74);
}

TEST(Tokens, DescrambleRoundTripAndRejects) {
  for (const char* clear : {"A", "SECRET", "a much longer token with blanks", ""}) {
    for (uint32_t seed : {1u, 2u, 77u}) EXPECT_EQ(DescrambleToken(ScrambleToken(clear, seed)), clear);
  }
  std::string good = ScrambleToken("SECRET", 9);
  std::string flipped = good;
  flipped[good.size() - 5] = flipped[good.size() - 5] == 'b' ? 'c' : 'b';  // checksum fails
  const std::string bad[] = {good.substr(1), "zz" + good.substr(2), "bbbbbbbb", flipped, "", "b"};
  for (const std::string& t : bad) {
    std::string r = DescrambleToken(t);
    EXPECT_NE(r, "SECRET") << t;
    EXPECT_EQ(r.find_first_not_of("0123456789"), std::string::npos) << t;  // the random number
  }
}

TEST(Language, NamesFromIds) {
  struct Case { int id; const char* name; } cases[] = {
      {9, "ENGLISH"}, {10, "SPANISH"}, {7, "GERMAN"}, {4, "CHINESE"}, {26, "CROATIAN"},
      {2052, "CHINESE(SIMPLIFIED)"}, {3098, "SERBIAN(CYRILIC)"}, {99, ""}, {0, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(LanguageNameFromId(c.id), c.name) << c.id;
}

TEST(Language, SectionChoice) {
  auto block = [](std::vector<std::string> sections) {
    PackageSpec recipe = SampleSpec();
    recipe.languageBlock = LanguageBlockOf(sections);
    return BuildPackage(recipe, {});
  };
  const std::string german = LanguageSection("German", {"s0=Titel"});
  const std::string english = LanguageSection(" english ", {"s0=Title", "s7=", "Charset=x"});
  struct Case { int systemId; std::vector<std::string> sections; const char* s0; } cases[] = {
      {9, {german}, "Titel"},             // one section is used whatever its name
      {7, {english, german}, "Titel"},    // the system language first
      {12, {german, english}, "Title"},   // then English
      {12, {german, LanguageSection("Italian", {"s0=Titolo"})}, "Default"},  // neither: "*"
  };
  for (const Case& c : cases) {
    ResetSelectedSectionForTesting();
    SetSystemLanguageIdForTesting(c.systemId);
    EXPECT_EQ(Read(block(c.sections)).GetLangString("s0", "Default"), c.s0);
  }
  ResetSelectedSectionForTesting();
  SetSystemLanguageIdForTesting(9);
  TGFileInfo info = Read(block({english}));
  EXPECT_EQ(info.GetLangString("s7", "Bad CRC!"), "");        // present but empty
  EXPECT_EQ(info.GetLangString("s99", "fallback"), "fallback");
  EXPECT_EQ(info.GetCharset(), 0);                            // not a number
  // The section stays for the process, even for another package.
  EXPECT_EQ(Read(block({german})).GetLangString("s0", "D"), "Title");
  // A language block that is not a field list.
  ResetSelectedSectionForTesting();
  PackageSpec recipe = SampleSpec();
  recipe.languageBlock = "not a list";
  EXPECT_EQ(Read(BuildPackage(recipe, {})).GetLangString("s0", "D"), "D");
  ResetSelectedSectionForTesting();
  SetSystemLanguageIdForTesting(-1);
}

namespace {

// The package with its language record replaced by one of these bytes: the builder refuses
// records that long, so the test lays them in itself.
std::string WithLanguageRecord(const std::string& pkg, const std::string& block) {
  const uint32_t at = U32At(pkg, pkg.size() - 74 + 4);
  const uint32_t old = U32At(pkg, at);
  std::string length(4, '\0');
  WriteU32LE(reinterpret_cast<uint8_t*>(&length[0]), static_cast<uint32_t>(block.size()));
  std::string out = pkg.substr(0, at) + length + block + pkg.substr(at + 4 + old);
  std::string logical(4, '\0');
  WriteU32LE(reinterpret_cast<uint8_t*>(&logical[0]), static_cast<uint32_t>(out.size()));
  out.replace(252, 4, logical);
  return out;
}

}  // namespace

// A damaged or hostile package may bring a language block of a megabyte, or one of nothing but
// delimiters: each lookup walks it once, and a block past the reader's limit is not read at
// all (its defaults stand, and the records after it are still found).
TEST(Package, LargeLanguageBlocksAreReadWithinTheLimit) {
  SetSystemLanguageIdForTesting(7);  // German, which no section names: English is looked for
  const std::string english = LanguageSection("English", {"s0=Found"});
  std::string named;
  for (int i = 0; named.size() < 500000; ++i) named += LanguageSection("L" + std::to_string(i), {"s0=no"}) + "\x02";
  struct Case {
    std::string block;
    const char* s0;
  } cases[] = {
      {std::string(300001, '\x02') + english + "\x02", "Found"},
      {"\x02" + named + english + "\x02", "Found"},
      {std::string(kLeadRecordLimit, '\x02'), "Default"},
  };
  const std::string pkg = BuildPackage(SampleSpec(), {});
  for (const Case& c : cases) {
    ResetSelectedSectionForTesting();
    TGFileInfo info = Read(WithLanguageRecord(pkg, c.block));
    EXPECT_EQ(info.LanguageBlock().size(), c.block.size());
    EXPECT_EQ(info.GetLangString("s0", "Default"), c.s0) << c.block.size();
  }
  ResetSelectedSectionForTesting();
  const std::string tooLong = "\x02" + english + std::string(kLeadRecordLimit, ' ') + "\x02";
  TGFileInfo info = Read(WithLanguageRecord(pkg, tooLong));
  EXPECT_EQ(info.LanguageBlock(), "");
  EXPECT_EQ(info.GetLangString("s0", "Default"), "Default");
  EXPECT_EQ(info.GetUpdateURL(), "http://example.test/upd");
  PackageSpec recipe = SampleSpec();
  recipe.languageBlock = tooLong;
  EXPECT_THROW(BuildPackage(recipe, {}), PackageError);
  ResetSelectedSectionForTesting();
  SetSystemLanguageIdForTesting(-1);
}

// Windows opens a device for these names in every folder, whatever extension follows; the
// superscript digits of the ANSI code page count as digits there.
TEST(Package, DeviceNamesAreNeverExtractedPaths) {
  const char* devices[] = {"COM1",          "lpt9.txt",   "COM0",       "LPT0.log",      "com\xB9",
                           "COM\xB2.txt",   "sub\\Lpt\xB3", "LPT\xB9 .dat", "conin$",       "NUL.tar.gz",
                           "aux .txt",      "sub\\CON\\x.txt"};
  for (const char* path : devices) EXPECT_FALSE(IsSafeRelativePath(path)) << path;
  const char* files[] = {"COM10",    "LPT",       "COMA.txt", "com1x.txt", "xCOM1",
                         "COM\xB4", "LPT\xBD.txt", "sub\\COM\xB9z\\a.txt", "CONSOLE.txt"};
  for (const char* path : files) EXPECT_TRUE(IsSafeRelativePath(path)) << path;
}
