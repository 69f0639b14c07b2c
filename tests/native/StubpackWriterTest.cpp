// The package builder's writer against the stub's own reader: sets of disk files, records cut
// to a bound and at disk boundaries, parallel compression, lead records and headers, and the
// layouts it must refuse.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "PackageWriter.h"
#include "package/GFileInfo.h"
#include "package/PackageLayout.h"
#include "package/Records.h"
#include "package/Token.h"
#include "package/UnPackCore.h"
#include "support/Text.h"

using namespace stub;

namespace {

const std::string kFirst = "D:\\setup.exe";
const std::string kDest = "C:\\T";

std::string FakeStub() {
  std::string s(1024, '\0');
  s[0] = 'M', s[1] = 'Z', s[256] = 'P', s[257] = 'E';
  for (size_t i = 300; i < s.size(); ++i) s[i] = static_cast<char>(i * 13);
  return s;
}

std::string Noise(size_t n, uint32_t seed) {
  std::minstd_rand g(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(g() >> 8);
  return s;
}

std::string Prose(size_t n) {
  static const char* words[] = {"setup ", "engine ", "package ", "disk ", "record ", "stub ", "file ", "the "};
  std::minstd_rand g(7);
  std::string s;
  while (s.size() < n) s += words[g() % 8];
  s.resize(n);
  return s;
}

PackageSpec Recipe() {
  PackageSpec recipe;
  recipe.stub = FakeStub();
  recipe.languageBlock = LanguageBlockOf({LanguageSection("English", {"s0=Title", "Charset=0"})});
  recipe.settingsRecord = SettingsRecordOf("http://h/u", "Product.setup.info", "Agent.exe", StableScrambledToken("T1"), false);
  recipe.storeIncompressible = true;
  return recipe;
}

std::vector<PackageFile> Files() {
  return {
      {"Engine.exe", Noise(700, 1), 0x5A8C6000, true, "/L=1"},
      {"docs\\readme.txt", Prose(20000), 0x5A8C6001, false, ""},
      {"data\\noise.bin", Noise(30000, 2), 0x5A8C6002, false, ""},
      {"empty.txt", "", 0x5A8C6003, false, ""},
      {"zeros.bin", std::string(50000, '\0'), 0, false, ""},
  };
}

int g_steps = 0;
void CountSteps(int kind, int64_t, const std::string&, int, int) {
  if (kind == 1) ++g_steps;
}

// The stub's extraction over files in memory.
class Host : public ExtractHost {
 public:
  std::map<std::string, std::string> files;
  std::vector<std::string> log;
  bool FileExists(const std::string& path) override { return files.count(path) > 0; }
  std::unique_ptr<ByteSource> OpenRead(const std::string& path) override {
    return files.count(path) ? std::unique_ptr<ByteSource>(new MemorySource(files[path])) : nullptr;
  }
  bool CreateFolder(const std::string&) override { return true; }
  bool SaveFile(const std::string& path, const BytePieces& data, uint32_t, bool append) override {
    std::string& file = files[path];
    if (!append) file.clear();
    for (const BytePiece& p : data) file.append(p.data, p.size);
    return true;
  }
  uint32_t FileDosDate(const std::string&) override { return 0; }
  int64_t FileSize(const std::string&) override { return 0; }
  double FreeBytes(const std::string&) override { return 1e9; }
  std::string LastErrorText() override { return ""; }
  void EjectCD(const std::string&) override {}
  void RefuseAutoPlay() override {}
  void ShowError(const std::string& text) override { log.push_back("box: " + text); }
  bool AskForDisk(const std::string&) override { return false; }
  uint32_t Tick() override { return 0; }
  void Wait(unsigned) override {}
  PumpHook Pump() override { return nullptr; }
  void Log(const std::string& line) override { log.push_back(line); }
  std::string ProcessIdText() override { return "1"; }
};

struct Extracted {
  ExtractOutcome outcome;
  bool checksumOk = false;
  std::string mainFile;
  std::map<std::string, std::string> files;  // relative path -> content
  int steps = 0;
};

Extracted Extract(const std::vector<std::string>& disks) {
  Host host;
  for (size_t i = 0; i < disks.size(); ++i) host.files[i ? DiskFileName(kFirst, int64_t(i + 1)) : kFirst] = disks[i];
  ExtractRequest request;
  request.packagePath = kFirst;
  request.destination = kDest;
  request.progress = CountSteps;
  g_steps = 0;
  Extracted out;
  out.outcome = RunExtraction(request, host, out.checksumOk, out.mainFile);
  out.steps = g_steps;
  for (const auto& f : host.files)
    if (f.first.compare(0, kDest.size() + 1, kDest + "\\") == 0) out.files[f.first.substr(kDest.size() + 1)] = f.second;
  return out;
}

PackageTrailer TrailerOf(const std::string& disk) {
  MemorySource source(disk);
  PackageTrailer t;
  ReadTrailer(source, t);
  return t;
}

}  // namespace

TEST(StubpackWriter, SetsRoundTripThroughTheExtractor) {
  struct Case {
    uint64_t diskSize, bound;
    int level, threads;
  } cases[] = {
      {0, 0, 6, 1},        // one record per file
      {0, 3000, 6, 3},     // files cut into records, compressed on three threads
      {0, 3000, 0, 2},     // stored records
      {9000, 3000, 6, 2},  // a set: records cut again where a disk ends
      {6000, 0, 6, 1},     // whole-file records cut only at disk ends
      {5000, 2000, 0, 1},  // stored set
  };
  const std::vector<PackageFile> files = Files();
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "disk " << c.diskSize << " bound " << c.bound << " level " << c.level);
    PackageSpec recipe = Recipe();
    recipe.diskSize = c.diskSize;
    recipe.recordBound = c.bound;
    recipe.level = c.level;
    recipe.threads = c.threads;
    const std::vector<std::string> disks = BuildPackageSet(recipe, files);
    ASSERT_EQ(disks.size() > 1, c.diskSize > 0);
    // The same output whatever the number of threads.
    recipe.threads = 1;
    EXPECT_EQ(BuildPackageSet(recipe, files), disks);

    for (size_t i = 0; i < disks.size(); ++i) {
      const std::string& d = disks[i];
      const PackageTrailer t = TrailerOf(d);
      if (c.diskSize) {
        EXPECT_LE(d.size(), c.diskSize);
      }
      EXPECT_EQ(t.Signature(), kPackageSignature);
      EXPECT_EQ(t.LeadRecordCount(), 2);
      EXPECT_EQ(t.MoreDisks(), i + 1 < disks.size());
      EXPECT_EQ(t.FilesCount(), files.size() + disks.size() - 1);  // files and disk changes
      EXPECT_EQ(t.DataSize(), 700u + 20000 + 30000 + 50000);
      // Clusters count whole files, however many records carry them.
      EXPECT_EQ(t.ClusterDataSize(0), 1024u + 20480 + 30208 + 0 + 50176);
      EXPECT_EQ(t.ClusterDataSize(7), 65536u * 4);
      MemorySource source(d);
      EXPECT_EQ(t.Checksum(), PackageChecksum(source, 74));
      if (i == 0) {
        EXPECT_EQ(t.DataOffset(), 1024u);
        EXPECT_EQ(StoredLogicalLength(source), int64_t(d.size()));
      } else {
        EXPECT_EQ(t.DataOffset(), 0u);
        EXPECT_FALSE(IsPEFile(source));
      }
    }
    // The space check picks the largest cluster size not above the drive's from disk 1.
    const PackageTrailer t = TrailerOf(disks[0]);
    EXPECT_EQ(SpaceNeededForCluster(t, 256), t.DataSize());
    EXPECT_EQ(SpaceNeededForCluster(t, 3000), t.ClusterDataSize(2));
    EXPECT_EQ(SpaceNeededForCluster(t, 4096), t.ClusterDataSize(3));
    EXPECT_EQ(SpaceNeededForCluster(t, 131072), t.ClusterDataSize(7));
    MemorySource first(disks[0]);
    TGFileInfo info(first);
    EXPECT_EQ(info.GetOriginalFileName(), "Product.original");
    EXPECT_EQ(info.GetSecretToken(true), "T1");

    const Extracted x = Extract(disks);
    EXPECT_EQ(x.outcome, ExtractOutcome::Completed);
    EXPECT_TRUE(x.checksumOk);
    EXPECT_EQ(x.mainFile, "Engine.exe*/L=1");
    EXPECT_EQ(x.steps, int(TrailerOf(disks[0]).FilesCount()));  // the bar ends full, not past it
    ASSERT_EQ(x.files.size(), files.size());
    for (const PackageFile& f : files) EXPECT_EQ(x.files.at(f.path), f.data) << f.path;
  }
}

TEST(StubpackWriter, LaterDiskNeverStartsWithMZ) {
  // A stored record of 42,419 bytes has the length -42,419 = 4D 5A FF FF: "MZ". Sized so that
  // it is the first record of disk 2.
  PackageSpec recipe = Recipe();
  recipe.level = 0;
  const size_t recordB = 42419;
  recipe.diskSize = 4 + 4 + recordB + 74;
  const std::string headerA = RecordHeader("a.bin", false, "", 0), headerB = RecordHeader("b.bin", false, "", 0);
  const size_t lead = 8 + recipe.languageBlock.size() + recipe.settingsRecord.size();
  const size_t sizeA = recipe.diskSize - 1024 - lead - 4 - headerA.size() - 1 - 74;
  std::vector<PackageFile> files = {{"a.bin", Noise(sizeA, 3), 0, false, ""},
                                    {"b.bin", Noise(recordB - headerB.size() - 1, 4), 0, false, ""}};
  const std::vector<std::string> disks = BuildPackageSet(recipe, files);
  ASSERT_EQ(disks.size(), 2u);
  EXPECT_EQ(disks[0].size(), recipe.diskSize);
  EXPECT_EQ(disks[1].substr(0, 6), std::string("\0\0\0\0MZ", 6));
  const Extracted x = Extract(disks);
  EXPECT_EQ(x.outcome, ExtractOutcome::Completed);
  EXPECT_EQ(x.files.at("b.bin"), files[1].data);
}

TEST(StubpackWriter, RefusesLayoutsThatCannotBeWritten) {
  const std::vector<PackageFile> files = Files();
  PackageSpec recipe = Recipe();
  recipe.diskSize = 1024 + 100;  // not even the lead records fit beside the stub
  EXPECT_THROW(BuildPackageSet(recipe, files), PackageError);
  // Disk 1 holds its lead records, but a later disk cannot hold one record of a long name.
  recipe.diskSize = 1024 + 8 + recipe.languageBlock.size() + recipe.settingsRecord.size() + 74 + 20;
  recipe.level = 0;  // stored, so the long name cannot shrink
  std::vector<PackageFile> longName = {{std::string(1300, 'n') + ".txt", "abc", 0, false, ""}};
  try {
    BuildPackageSet(recipe, longName);
    FAIL() << "no error";
  } catch (const PackageError& e) {
    EXPECT_NE(std::string(e.what()).find("too small"), std::string::npos) << e.what();
  }
  // Totals beyond the 32-bit fields of the trailer.
  MemoryDisks sink;
  PackageTotals big;
  big.AddFile(uint64_t(5) << 30);
  EXPECT_THROW(PackageAssembler(Recipe(), big, sink), PackageError);
  PackageTotals rounded;  // the data fits, its size in 64 KiB clusters does not
  rounded.AddFile(UINT32_MAX - 70000);
  rounded.AddFile(1);
  EXPECT_LE(rounded.dataSize, UINT32_MAX);
  EXPECT_THROW(PackageAssembler(Recipe(), rounded, sink), PackageError);
}

TEST(StubpackWriter, ParallelEncodingPassesErrorsOn) {
  std::vector<RecordJob> jobs(60);
  PackageSpec recipe = Recipe();
  recipe.threads = 3;
  for (int failAt : {0, 5, 59}) {
    int consumed = 0;
    auto read = [failAt](const RecordJob& job) -> std::string {
      if (job.offset == uint64_t(failAt)) throw std::runtime_error("unreadable");
      return Prose(5000);
    };
    for (size_t i = 0; i < jobs.size(); ++i) jobs[i].offset = i, jobs[i].header = "|f|0|";
    EXPECT_THROW(EncodeRecords(jobs, read, recipe, false, [&](EncodedRecord&&) { ++consumed; }), std::runtime_error);
    EXPECT_LE(consumed, failAt);
  }
  // A consumer that fails (a full disk) ends the workers as well.
  auto read = [](const RecordJob&) { return Prose(5000); };
  int consumed = 0;
  EXPECT_THROW(EncodeRecords(jobs, read, recipe, false,
                             [&](EncodedRecord&&) {
                               if (++consumed == 10) throw std::runtime_error("disk full");
                             }),
               std::runtime_error);
  EXPECT_EQ(consumed, 10);
}

TEST(StubpackWriter, IncompressibleDataIsStored) {
  const DeflateFunction deflate = ZlibDeflater(6)();
  struct Case {
    std::string data;
    bool store;
    bool stored;
  } cases[] = {
      {Noise(400000, 5), true, true},
      {Noise(400000, 5), false, false},
      {Prose(400000), true, false},
      {Noise(200000, 6) + Prose(200000), true, false},  // one sample compresses
      {Noise(100, 7), true, true},                       // small: deflated, then found larger
  };
  for (const Case& c : cases) {
    EncodedRecord r = EncodeRecord("|x|0|", c.data, 6, deflate, c.store);
    const int32_t stated = static_cast<int32_t>(ReadU32LE(reinterpret_cast<const uint8_t*>(r.bytes.data())));
    EXPECT_EQ(stated <= 0, c.stored) << c.data.size();
    EXPECT_EQ(r.bytes.size(), 4 + size_t(stated < 0 ? -int64_t(stated) : stated));
  }
}

TEST(StubpackWriter, HeadersLeadRecordsTokensAndDates) {
  struct Header {
    std::string path, args;
    bool main;
    uint32_t date;
    const char* expected;
  } headers[] = {
      {"Engine.exe", "/L=1", true, 0x5A8C6000, "|Engine.exe*/L=1|1519149056|"},
      {"a\\b.txt", "", false, 0, "|a\\b.txt|0|"},
      {"Engine.exe", "/A=x|y", true, 1, "^Engine.exe*/A=x|y^1^"},  // "|" in the parameters
      {"\xE9t\xE9.txt", "", false, 2, "|\xE9t\xE9.txt|2|"},
  };
  for (const Header& h : headers) {
    const std::string header = RecordHeader(h.path, h.main, h.args, h.date);
    EXPECT_EQ(header, h.expected);
    const FileRecord r = ParseFileRecord(header + std::string(1, '\0') + "data");
    EXPECT_EQ(r.path, h.path);
    EXPECT_EQ(r.hasMainMark, h.main);
    EXPECT_EQ(r.dosDateTime, h.date);
    EXPECT_EQ(r.data, "data");
  }

  // A "|" in a field moves the whole record to another delimiter, and the reader follows.
  PackageSpec recipe = Recipe();
  recipe.settingsRecord = SettingsRecordOf("http://h/u?a|b", "P.info", "Ag.exe", "", true);
  recipe.hasDownloadRecord = true;
  recipe.downloadRecord = DownloadRecordOf("http://d/", "Big.exe", true, StableScrambledToken("DL"), "123");
  EXPECT_EQ(recipe.settingsRecord, "^http://h/u?a|b^P.info^Ag.exe^^1^");
  MemorySource source(BuildPackage(recipe, {}));
  TGFileInfo info(source);
  EXPECT_EQ(info.Trailer().LeadRecordCount(), 3);
  EXPECT_EQ(info.GetUpdateURL(), "http://h/u?a|b");
  EXPECT_TRUE(info.GetHideSetup());
  EXPECT_EQ(info.GetDownloadFileName(), "Big.exe");
  EXPECT_TRUE(info.GetDownloadNoLocalCopy());
  EXPECT_EQ(info.GetDownloadToken(true), "DL");
  EXPECT_EQ(info.GetDownloadSize(), "123");

  // Tokens: stable for the same clear text, so that builds repeat, and always readable.
  for (const char* clear : {"T", "SECRET", "with blanks and | bar", "\xE9\xE8"}) {
    EXPECT_EQ(StableScrambledToken(clear), StableScrambledToken(clear));
    std::string back;
    EXPECT_TRUE(TryDescrambleToken(StableScrambledToken(clear), back));
    EXPECT_EQ(back, clear);
  }
  std::string ignored;
  EXPECT_FALSE(TryDescrambleToken("bbbbbbbb", ignored));
  EXPECT_FALSE(TryDescrambleToken(StableScrambledToken("X").substr(2), ignored));

  struct Date {
    CivilTime t;
    uint32_t packed;
  } dates[] = {
      {{2017, 12, 12, 12, 0, 0}, 0x4B8C6000},
      {{1980, 1, 1, 0, 0, 1}, 0x00210000},      // odd seconds round down
      {{1979, 12, 31, 23, 59, 59}, 0x00210000}, // before 1980: its first second
      {{2107, 12, 31, 23, 59, 58}, 0xFF9FBF7D},
      {{2200, 1, 1, 0, 0, 0}, 0xFF9FBF7D},      // after 2107: its last second
  };
  for (const Date& d : dates) {
    EXPECT_EQ(PackDosDateTime(d.t), d.packed) << d.t.year;
    const CivilTime back = UnpackDosDateTime(PackDosDateTime(d.t));
    if (d.t.year >= 1980 && d.t.year <= 2107) {
      EXPECT_EQ(back.day, d.t.day);
    }
  }
  EXPECT_EQ(DiskFileName(DiskBaseName("B.exe.001"), 2), "B.exe.002");
  EXPECT_EQ(DiskFileName("B", 10), "B.010");
  EXPECT_EQ(DiskFileName("B", 1000), "B.1000");
}
