// The extraction walk over an in-memory host: files written and their dates, the program to
// start, progress calls in order, disk spanning and its prompts, the agent copy, and every
// damaged or hostile package stopping without writing outside the destination.
#include <gtest/gtest.h>

#include "FakeStub.h"
#include <zlib.h>

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "PackageWriter.h"
#include "package/PackageLayout.h"
#include "package/Records.h"
#include "package/UnPackCore.h"
#include "support/Text.h"

using namespace stub;

namespace {

const std::string kDest = "C:\\Temp\\SETUP_1";

std::vector<std::string> g_progress;
std::vector<std::string>* g_timeline = nullptr;  // progress, log lines and boxes in the order they came
void RecordProgress(int kind, int64_t maximum, const std::string& text, int step, int position) {
  g_progress.push_back(std::to_string(kind) + " " + std::to_string(maximum) + " " + std::to_string(step) + " " +
                       std::to_string(position) + (text.empty() ? "" : " text"));
  if (g_timeline) g_timeline->push_back("progress " + g_progress.back());
}

// A writer thread that works only while the window thread waits for it, so writes pile up
// behind the reads as they do when the disk is slower than inflating.
class LazyWriter : public WriterThread {
 public:
  explicit LazyWriter(int* batches) : batches_(batches) {}
  bool Start(void (*)(void*), void* arg) override {
    queue_ = static_cast<WriteQueue*>(arg);
    return true;
  }
  void Join() override {}
  void WaitForWriter() override {
    ++*batches_;
    queue_->RunPending();
  }
  void WakeCaller() override {}
  void WaitForWork() override {}
  void WakeWriter() override {}

 private:
  int* batches_;
  WriteQueue* queue_ = nullptr;
};
int g_pumps = 0;
void CountPump() { ++g_pumps; }

// Files, folders and the user, all in memory. Paths compare exactly.
class MemoryHost : public ExtractHost {
 public:
  std::map<std::string, std::string> files;
  std::map<std::string, uint32_t> dates;
  std::set<std::string> folders{"C:", "C:\\Temp"};
  std::set<std::string> readOnly;           // saves there fail
  std::set<std::string> unreadable;         // there, but opening fails
  std::vector<std::string> boxes, prompts, log, ejected;
  std::function<bool(int)> answer = [](int) { return true; };  // the disk prompt's answer
  int cancelAt = -1;  // Cancelled() says yes from this question on (0: the first)
  int cancelQuestions = 0;
  int autoPlayArmed = 0;
  unsigned waited = 0;
  uint32_t now = 5000;

  bool FileExists(const std::string& path) override { return files.count(path) > 0; }
  std::unique_ptr<ByteSource> OpenRead(const std::string& path) override {
    auto it = files.find(path);
    return it == files.end() || unreadable.count(path) ? nullptr : std::unique_ptr<ByteSource>(new MemorySource(it->second));
  }
  bool CreateFolder(const std::string& path) override {
    if (path.empty()) return false;
    for (std::string p = path; !p.empty() && p.back() != ':'; p = StripSlash(FolderPart(p))) folders.insert(p);
    return true;
  }
  bool SaveFile(const std::string& path, const BytePieces& data, uint32_t date, bool append) override {
    if (readOnly.count(path) || !folders.count(StripSlash(FolderPart(path)))) return false;
    std::string& file = files[path];
    if (!append) file.clear();
    for (const BytePiece& piece : data) file.append(piece.data, piece.size);
    if (date) dates[path] = date;
    return true;
  }
  // Every file made gets a number of its own, as a file system gives it; files a test puts in
  // place have none.
  bool WriteRecordData(const std::string& path, const BytePieces& data, uint32_t date, FileStamp& stamp,
                       bool& existed) override {
    existed = files.count(path) > 0;
    const FileStamp before = stamp;
    stamp = FileStamp();
    if (readOnly.count(path) || !folders.count(StripSlash(FolderPart(path)))) return false;
    std::string& file = files[path];
    if (!existed || before.id == 0 || ids[path] != before.id || int64_t(file.size()) != before.size) {
      file.clear();
      ids[path] = ++lastId;
    }
    for (const BytePiece& piece : data) file.append(piece.data, piece.size);
    if (date) dates[path] = date;
    stamp.id = ids[path];
    stamp.size = int64_t(file.size());
    return true;
  }
  std::map<std::string, uint64_t> ids;
  uint64_t lastId = 0;
  uint32_t FileDosDate(const std::string& path) override { return dates.count(path) ? dates[path] : 0; }
  int64_t FileSize(const std::string& path) override { return files.count(path) ? int64_t(files[path].size()) : 0; }
  double FreeBytes(const std::string&) override { return 123456789.0; }
  std::string LastErrorText() override { return "Access is denied."; }
  void EjectCD(const std::string& path) override { ejected.push_back(path); }
  void RefuseAutoPlay() override { ++autoPlayArmed; }
  void ShowError(const std::string& text) override {
    boxes.push_back(text);
    if (g_timeline) g_timeline->push_back("box " + text);
  }
  bool AskForDisk(const std::string& text) override {
    prompts.push_back(text);
    if (g_timeline) g_timeline->push_back("prompt " + text);
    return answer(static_cast<int>(prompts.size()));
  }
  bool Cancelled() override { return cancelAt >= 0 && cancelQuestions++ >= cancelAt; }
  std::unique_ptr<WriterThread> NewWriterThread() override {
    return lazyWriter ? std::unique_ptr<WriterThread>(new LazyWriter(&writerBatches)) : nullptr;
  }
  bool lazyWriter = false;
  int writerBatches = 0;
  uint32_t Tick() override { return now += 7; }
  void Wait(unsigned ms) override { waited += ms; }
  PumpHook Pump() override { return CountPump; }
  void Log(const std::string& line) override {
    log.push_back(line);
    if (g_timeline) g_timeline->push_back("log " + line);
  }
  std::string ProcessIdText() override { return "4242"; }

  bool Logged(const std::string& start) const {
    for (const std::string& line : log)
      if (line.compare(0, start.size(), start) == 0) return true;
    return false;
  }
  // Every path written lies inside the destination folder or is a package file.
  bool OnlyInside(const std::set<std::string>& packageFiles) const {
    for (const auto& f : files)
      if (!packageFiles.count(f.first) && f.first.compare(0, kDest.size() + 1, kDest + "\\") != 0) return false;
    return true;
  }
};


PackageSpec Recipe(uint8_t flags = 0) {
  PackageSpec recipe;
  recipe.stub = FakeStub();
  recipe.languageBlock = LanguageBlockOf({LanguageSection("English", {"s0=Title"})});
  recipe.settingsRecord = "|http://h/u|P.info|Agent.exe|tok|0|";
  recipe.flags = flags;
  return recipe;
}

PackageFile File(const std::string& path, const std::string& data, uint32_t date = 0x5A8C6000, bool main = false,
                 const std::string& args = "") {
  return PackageFile{path, data, date, main, args};
}

std::string Deflate(const std::string& bytes) {
  uLongf size = compressBound(static_cast<uLong>(bytes.size()));
  std::string out(size, '\0');
  compress2(reinterpret_cast<Bytef*>(&out[0]), &size, reinterpret_cast<const Bytef*>(bytes.data()),
            static_cast<uLong>(bytes.size()), 6);
  out.resize(size);
  return out;
}

std::string LengthBytes(int32_t length) {
  std::string s(4, '\0');
  WriteU32LE(reinterpret_cast<uint8_t*>(&s[0]), static_cast<uint32_t>(length));
  return s;
}
// A record as the chain holds it: compressed (L > 0) or stored (L <= 0).
std::string Record(const std::string& content, bool compressed = true) {
  if (!compressed) return LengthBytes(-static_cast<int32_t>(content.size())) + content;
  std::string packed = Deflate(content);
  return LengthBytes(static_cast<int32_t>(packed.size())) + packed;
}
std::string FileContent(const PackageFile& f) { return FileRecordHeader(f) + std::string(1, '\0') + f.data; }

size_t TrailerAt(const std::string& package) {
  MemorySource source(package);
  return static_cast<size_t>(PackageEnd(source)) - kTrailerSize;
}
// After bytes of a package were changed on purpose: its checksum made right again.
void Reseal(std::string& package) {
  MemorySource source(package);
  const uint32_t sum = PackageChecksum(source, kTrailerSize);
  WriteU32LE(reinterpret_cast<uint8_t*>(&package[TrailerAt(package) + 16]), sum);
}

// A later disk file of a split package: its records, then a trailer of its own with the
// signature, DataOffset 0, MoreDisks unless it is the last, and its checksum.
std::string LaterDisk(const std::string& records, bool moreDisks) {
  std::string disk = records;
  PackageTrailer trailer;
  trailer.bytes[0] = 1;
  trailer.bytes[1] = 2;
  trailer.SetU32(12, kPackageSignature);
  trailer.bytes[65] = moreDisks ? kFlagMoreDisks : 0;
  trailer.SetU32(70, kTrailerSize);
  disk.append(reinterpret_cast<const char*>(trailer.bytes), kTrailerSize);
  Reseal(disk);
  return disk;
}

class UnPackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_progress.clear();
    g_pumps = 0;
    ResetSaveFailuresForTesting();
    ForgetWrittenFilesForTesting();
  }
  ExtractOutcome Extract(const std::string& packagePath, const std::string& agent = "", bool forcePrompt = false,
                         bool unattended = false, size_t ring = kDefaultWriteRing) {
    ExtractRequest request;
    request.packagePath = packagePath;
    request.destination = kDest;
    request.agentFileName = agent;
    request.diskPrompt = "Please insert <B>DISK #<DISK_NUM></B> (<DISK_NUM>)";
    request.forcePrompt = forcePrompt;
    request.unattended = unattended;
    request.progress = RecordProgress;
    request.writeRingBytes = ring;
    return RunExtraction(request, host, checksumOk, mainFile);
  }
  std::string Out(const std::string& rel) { return host.files[kDest + "\\" + rel]; }
  bool Has(const std::string& rel) { return host.files.count(kDest + "\\" + rel) > 0; }

  MemoryHost host;
  bool checksumOk = false;
  std::string mainFile = "stale";
};

const char kSetup[] = "D:\\setup.exe";

}  // namespace

TEST_F(UnPackTest, OrdinaryPackage) {
  const std::string big(300000, 'b');
  host.files[kSetup] = BuildPackage(Recipe(), {File("Engine.exe", "MZengine", 0x5A8C6000, true, "/X=1"),
                                             File("docs\\deep\\readme.txt", "hello", 0x4B211234),
                                             File("big.bin", big), File("nodate.txt", "x", 0)});
  EXPECT_EQ(Extract(kSetup), ExtractOutcome::Completed);
  EXPECT_TRUE(checksumOk);
  EXPECT_EQ(mainFile, "Engine.exe*/X=1");
  EXPECT_EQ(Out("Engine.exe"), "MZengine");
  EXPECT_EQ(Out("docs\\deep\\readme.txt"), "hello");
  EXPECT_EQ(Out("big.bin"), big);
  EXPECT_EQ(host.dates[kDest + "\\docs\\deep\\readme.txt"], 0x4B211234u);
  EXPECT_EQ(host.dates.count(kDest + "\\nodate.txt"), 0u);
  EXPECT_EQ(g_progress, (std::vector<std::string>{"0 0 1 0", "0 4 1 0", "1 0 1 0", "1 0 1 0", "1 0 1 0", "1 0 1 0"}));
  EXPECT_TRUE(host.boxes.empty());
  EXPECT_TRUE(host.prompts.empty());
  EXPECT_EQ(host.autoPlayArmed, 0);
  EXPECT_GE(g_pumps, 6);  // before every record
  EXPECT_TRUE(host.Logged("FileInfo.FilesCount=4"));
  EXPECT_TRUE(host.Logged("FileLen=" + IntText(int64_t(host.files[kSetup].size()))));
  EXPECT_EQ(host.log[host.log.size() - 2], "UnCompressTime: 7 MS");
  EXPECT_EQ(host.log.back(), "");
  EXPECT_EQ(host.waited, 500u);
}

TEST_F(UnPackTest, MainFileAndOddRecords) {
  // What the header marks, and records that are skipped or only touch a file.
  std::string package = BuildPackage(Recipe(), {File("first.txt", "1")});
  const size_t trailerAt = TrailerAt(package);
  std::string records = LengthBytes(0) +  // L = 0
                        Record("no zero byte at all") + Record(std::string(1, '\0') + "empty header") +
                        Record("|Engine.exe*/X=1|0|" + std::string(1, '\0') + "E") +
                        Record("|empty.txt|305419896|" + std::string(1, '\0'), false) +
                        Record("|first.txt|notanumber|" + std::string(1, '\0') + "2", false) +
                        Record("|kept.txt|0|*flag|" + std::string(1, '\0') + "k");
  package.insert(trailerAt, records);
  // The logical length and the checksum follow the inserted records.
  const uint64_t logical = package.size();
  WriteU32LE(reinterpret_cast<uint8_t*>(&package[252]), static_cast<uint32_t>(logical));
  Reseal(package);
  host.files[kSetup] = package;
  host.files[kDest + "\\empty.txt"] = "old";
  EXPECT_EQ(Extract(kSetup), ExtractOutcome::Completed);
  EXPECT_EQ(Out("Engine.exe"), "E");
  EXPECT_EQ(Out("empty.txt"), "");  // a file there before is replaced, not kept
  EXPECT_EQ(host.dates[kDest + "\\empty.txt"], 305419896u);
  EXPECT_EQ(Out("first.txt"), "12");
  EXPECT_EQ(host.dates[kDest + "\\first.txt"], 0x5A8C6000u);  // "notanumber" left it alone
  // The last "*" was in field 2, not field 0: the whole header names the program.
  EXPECT_EQ(mainFile, "|kept.txt|0|*flag|");
  EXPECT_EQ(Out("kept.txt"), "k");
  EXPECT_EQ(host.files.size(), 5u);
}

TEST_F(UnPackTest, OnlyFilesThisProcessWroteAreAppendedTo) {
  // A file put in the folder before (an Engine.exe planted to run elevated) is replaced by the
  // first record of its path, and counts no progress step, as a file that was there. A second
  // extraction in the same process appends to what the first wrote, but only while that file
  // is still there as it was left.
  const std::string package = BuildPackage(Recipe(), {File("Engine.exe", "MZ", 0, true), File("b.txt", "B")});
  host.files[kSetup] = package;
  host.files[kDest + "\\Engine.exe"] = "planted-";
  host.folders.insert(kDest);
  Extract(kSetup);
  EXPECT_EQ(Out("Engine.exe"), "MZ");
  EXPECT_EQ(g_progress, (std::vector<std::string>{"0 0 1 0", "0 2 1 0", "1 0 1 0"}));
  const struct {
    const char* name;
    std::function<void(MemoryHost&)> meanwhile;
    std::string engine;
  } cases[] = {
      {"untouched", [](MemoryHost&) {}, "MZMZ"},
      {"replaced by another file", [](MemoryHost& h) { h.ids[kDest + "\\Engine.exe"] = 0; }, "MZ"},
      {"grown by someone", [](MemoryHost& h) { h.files[kDest + "\\Engine.exe"] += "!"; }, "MZ"},
  };
  const MemoryHost first = host;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    host = first;
    ForgetWrittenFilesForTesting();
    Extract(kSetup);  // written by this process now
    EXPECT_EQ(Out("Engine.exe"), "MZ");
    c.meanwhile(host);
    Extract(kSetup);
    EXPECT_EQ(Out("Engine.exe"), c.engine);
  }
}

TEST_F(UnPackTest, ChecksumTest) {
  std::string package = BuildPackage(Recipe(), {File("a.txt", std::string(5000, 'a'), 0, true)});
  std::string damaged = package;
  damaged[700] ^= 1;
  host.files[kSetup] = damaged;
  EXPECT_EQ(Extract(kSetup), ExtractOutcome::BadChecksum);
  EXPECT_FALSE(checksumOk);
  EXPECT_FALSE(Has("a.txt"));
  EXPECT_EQ(g_progress, (std::vector<std::string>{"0 0 1 0"}));
  // 1234 on either side passes.
  WriteU32LE(reinterpret_cast<uint8_t*>(&damaged[TrailerAt(damaged) + 16]), kChecksumExempt);
  host.files[kSetup] = damaged;
  EXPECT_EQ(Extract(kSetup), ExtractOutcome::Completed);
  EXPECT_TRUE(checksumOk);
  // A missing package: nothing, and the checksum result stays false.
  EXPECT_EQ(Extract("D:\\gone.exe"), ExtractOutcome::MissingPackage);
  EXPECT_FALSE(checksumOk);
  EXPECT_EQ(mainFile, "");
}

namespace {

// setup.exe (lead records, a.txt, the first half of split.bin), setup.exe.002 (the second
// half, b.txt), setup.exe.003 (c.txt, the program to start).
struct SplitPackage {
  std::string first, second, third;
  std::string half1 = std::string(40000, 'x'), half2 = std::string(30000, 'y');
};
SplitPackage MakeSplit() {
  SplitPackage p;
  p.first = BuildPackage(Recipe(kFlagMoreDisks), {File("a.txt", "A"), File("split.bin", p.half1, 0x11112222)});
  WriteU32LE(reinterpret_cast<uint8_t*>(&p.first[TrailerAt(p.first) + 8]), 5);  // FilesCount of all disks
  Reseal(p.first);
  p.second = LaterDisk(Record(FileContent(File("split.bin", p.half2, 0x11112222))) +
                           Record(FileContent(File("b.txt", "B")), false),
                       true);
  p.third = LaterDisk(Record(FileContent(File("Engine.exe", "E", 0, true, "/L=1"))) +
                          Record(FileContent(File("c.txt", "C"))),
                      false);
  return p;
}

}  // namespace

TEST_F(UnPackTest, SplitPackageAllDisksPresent) {
  SplitPackage p = MakeSplit();
  host.files[kSetup] = p.first;
  host.files["D:\\setup.exe.002"] = p.second;
  host.files["D:\\setup.exe.003"] = p.third;
  EXPECT_EQ(Extract(kSetup, "Agent.exe"), ExtractOutcome::Completed);
  EXPECT_TRUE(checksumOk);
  EXPECT_EQ(Out("split.bin"), p.half1 + p.half2);
  EXPECT_EQ(Out("b.txt"), "B");
  EXPECT_EQ(Out("c.txt"), "C");
  EXPECT_EQ(mainFile, "Engine.exe*/L=1");
  EXPECT_TRUE(host.prompts.empty());
  EXPECT_TRUE(host.ejected.empty());
  EXPECT_EQ(host.autoPlayArmed, 2);
  // a, split (first half only), disk 2, b, disk 3, Engine, c.
  EXPECT_EQ(g_progress, (std::vector<std::string>{"0 0 1 0", "0 5 1 0", "1 0 1 0", "1 0 1 0", "1 0 1 0", "1 0 1 0",
                                                  "1 0 1 0", "1 0 1 0", "1 0 1 0"}));
  // The agent copy comes from the first disk only, with its MoreDisks flag as it was.
  EXPECT_EQ(Out("Agent.exe"), BuildAgentCopy(p.first));
}

TEST_F(UnPackTest, WrongSignatureSkipsOnlyThatDisk) {
  SplitPackage p = MakeSplit();
  p.second[p.second.size() - kTrailerSize + 12] ^= 0xFF;
  Reseal(p.second);
  host.files[kSetup] = p.first;
  host.files["D:\\setup.exe.002"] = p.second;
  host.files["D:\\setup.exe.003"] = p.third;
  EXPECT_EQ(Extract(kSetup), ExtractOutcome::Completed);
  EXPECT_EQ(Out("split.bin"), p.half1);
  EXPECT_FALSE(Has("b.txt"));
  EXPECT_EQ(Out("c.txt"), "C");
  EXPECT_EQ(mainFile, "Engine.exe*/L=1");
}

TEST_F(UnPackTest, DiskPromptUntilTheDiskAppears) {
  SplitPackage p = MakeSplit();
  host.files[kSetup] = p.first;
  host.files["D:\\setup.exe.002"] = p.second;
  // The third disk arrives after the second prompt; the first OK finds nothing yet.
  host.answer = [&](int n) {
    if (n == 2) host.files["D:\\setup.exe.003"] = p.third;
    return true;
  };
  EXPECT_EQ(Extract(kSetup), ExtractOutcome::Completed);
  EXPECT_EQ(host.prompts, (std::vector<std::string>{"Please insert <B>DISK #3</B> (3)", "Please insert <B>DISK #3</B> (3)"}));
  EXPECT_EQ(host.ejected, (std::vector<std::string>{"D:\\setup.exe.003"}));
  EXPECT_EQ(mainFile, "Engine.exe*/L=1");
  EXPECT_EQ(host.waited, 500u * 3);
}

TEST_F(UnPackTest, CancelledPromptLaunchesNothing) {
  SplitPackage p = MakeSplit();
  host.files[kSetup] = p.first;
  host.files["D:\\setup.exe.002"] = p.second;
  host.answer = [](int) { return false; };
  EXPECT_EQ(Extract(kSetup), ExtractOutcome::Cancelled);
  EXPECT_EQ(host.prompts.size(), 1u);
  EXPECT_EQ(mainFile, "");
  EXPECT_TRUE(checksumOk);
  EXPECT_EQ(Out("b.txt"), "B");  // nothing is rolled back
  EXPECT_EQ(g_progress.back(), "1 0 1 0");
}

TEST_F(UnPackTest, ClosingTheWindowStopsAtTheNextRecord) {
  const std::string package =
      BuildPackage(Recipe(), {File("Engine.exe", "MZ", 0, true), File("a.txt", "A"), File("b.txt", "B")});
  MemorySource source(package);
  PackageTrailer trailer;
  ReadTrailer(source, trailer);
  const int lead = static_cast<int>(trailer.LeadRecordCount());
  // The question comes before every record: the lead records, then one per file.
  const struct {
    int cancelAt;
    std::vector<std::string> written;
  } cases[] = {{0, {}}, {lead + 2, {"Engine.exe", "a.txt"}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.cancelAt);
    host = MemoryHost();
    host.files[kSetup] = package;
    host.cancelAt = c.cancelAt;
    EXPECT_EQ(Extract(kSetup), ExtractOutcome::Cancelled);
    std::vector<std::string> written;
    for (const char* name : {"Engine.exe", "a.txt", "b.txt"})
      if (Has(name)) written.push_back(name);
    EXPECT_EQ(written, c.written);
    EXPECT_EQ(mainFile, "");  // a cancelled setup names nothing to start
    EXPECT_TRUE(host.boxes.empty());
    EXPECT_TRUE(host.Logged("Extraction cancelled: the window was closed"));
  }
}

TEST_F(UnPackTest, ForcePromptAsksEvenForPresentDisks) {
  SplitPackage p = MakeSplit();
  const std::string first = "D:\\SETUP.EXE.001";
  host.files[first] = p.first;
  host.files["D:\\SETUP.EXE.002"] = p.second;
  host.files["D:\\SETUP.EXE.003"] = p.third;
  EXPECT_EQ(Extract(first, "Agent.exe", true), ExtractOutcome::Completed);
  EXPECT_EQ(host.prompts.size(), 2u);
  EXPECT_EQ(host.ejected, (std::vector<std::string>{"D:\\SETUP.EXE.002", "D:\\SETUP.EXE.003"}));
  EXPECT_TRUE(Has("Agent.exe"));  // ".exe.001" counts as the stub
}

TEST_F(UnPackTest, DiskNames) {
  struct Case {
    const char* first;
    int64_t disk;
    const char* name;
  } cases[] = {{"X.EXE.001", 2, "X.EXE.002"}, {"X.EXE.001", 3, "X.EXE.003"}, {"setup.exe", 2, "setup.exe.002"},
               {"B", 10, "B.010"},           {"B", 1000, "B.1000"},         {"setup.exe.0011", 2, "setup.exe.0011.002"}};
  for (const Case& c : cases) EXPECT_EQ(DiskFileName(DiskBaseName(c.first), c.disk), c.name) << c.first;
}

TEST_F(UnPackTest, AgentCopy) {
  std::string package = BuildPackage(Recipe(), {File("a.txt", "A")});
  host.files[kSetup] = package;
  host.dates[kSetup] = 0x5A8C7777;
  Extract(kSetup, "C:\\somewhere\\Agent.exe");
  const std::string copy = Out("Agent.exe");
  EXPECT_EQ(copy, BuildAgentCopy(package));
  EXPECT_EQ(copy.substr(252, 4), std::string(4, '\0'));
  EXPECT_EQ(copy[copy.size() - 5], 1);  // AgentCopy
  EXPECT_EQ(host.dates[kDest + "\\Agent.exe"], 0x5A8C7777u);
  EXPECT_TRUE(host.Logged("4242 New AU-Agent: " + kDest + "\\Agent.exe"));
  // Not from a package that is not a stub, and not without a name.
  for (const char* path : {"D:\\setup.dat", "D:\\setup.exe.002x"}) {
    host.files.clear();
    host.files[path] = package;
    Extract(path, "Agent.exe");
    EXPECT_FALSE(Has("Agent.exe")) << path;
  }
  host.files[kSetup] = package;
  Extract(kSetup, "C:\\folder\\");
  EXPECT_EQ(host.files.size(), 3u);
}

TEST_F(UnPackTest, AFailedWriteEndsTheExtractionWithOneBoxPerProcess) {
  // A setup started with a file missing would run incomplete: nothing after the failed file
  // is written and nothing is named to start, whether a file or the agent copy failed.
  host.files[kSetup] = BuildPackage(Recipe(), {File("Engine.exe", "MZ", 0, true), File("a.txt", "AAAA"),
                                             File("b.txt", "B")});
  const struct {
    std::string readOnly;
    std::vector<std::string> written;
    std::string box;
  } cases[] = {
      {kDest + "\\a.txt", {"Engine.exe"},
       kDest + "\\a.txt<P><P>Unable to save Extracted File!<P><P>Access is denied.<P>"
               "  Data Size: <T>4 Bytes<P>  File Size:  <T>0 Bytes<P>  Bytes Free: <T>123456789 Bytes"},
      {kDest + "\\Agent.exe", {"Engine.exe", "a.txt", "b.txt"}, kDest + "\\Agent.exe<P><P>Unable to save"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.readOnly);
    const std::string package = host.files[kSetup];
    host = MemoryHost();
    ResetSaveFailuresForTesting();
    host.files[kSetup] = package;
    host.readOnly = {c.readOnly};
    for (int run = 1; run <= 2; ++run) {
      EXPECT_EQ(Extract(kSetup, "Agent.exe"), ExtractOutcome::WriteFailed);
      EXPECT_EQ(mainFile, "");
      std::vector<std::string> written;
      for (const char* name : {"Engine.exe", "a.txt", "b.txt", "Agent.exe"})
        if (Has(name)) written.push_back(name);
      EXPECT_EQ(written, c.written);
      EXPECT_TRUE(host.Logged("Extraction stopped: " + c.readOnly + " could not be written"));
      // The second extraction of the process fails the same way, without a second box.
      ASSERT_EQ(host.boxes.size(), 1u);
      EXPECT_EQ(host.boxes[0].compare(0, c.box.size(), c.box), 0) << host.boxes[0];
      EXPECT_EQ(SaveFailureCount(), run);
    }
  }
}

TEST_F(UnPackTest, MissingDisksWithNobodyToAsk) {
  SplitPackage p = MakeSplit();
  host.files[kSetup] = p.first;
  host.files["D:\\setup.exe.002"] = p.second;
  // Unattended, a disk that is not there ends the extraction: no prompt, no eject.
  EXPECT_EQ(Extract(kSetup, "", true, true), ExtractOutcome::MissingDisk);
  EXPECT_TRUE(host.prompts.empty());
  EXPECT_TRUE(host.ejected.empty());
  EXPECT_TRUE(host.boxes.empty());
  EXPECT_EQ(mainFile, "");
  EXPECT_TRUE(host.Logged("Disk 3 missing: D:\\setup.exe.003"));
  // With every disk there it asks nothing either, even where prompts are forced.
  host.files["D:\\setup.exe.003"] = p.third;
  EXPECT_EQ(Extract(kSetup, "", true, true), ExtractOutcome::Completed);
  EXPECT_TRUE(host.prompts.empty());
  EXPECT_EQ(mainFile, "Engine.exe*/L=1");
  // A disk that is there but cannot be opened is missing too, and is reported.
  host.unreadable = {"D:\\setup.exe.003"};
  EXPECT_EQ(Extract(kSetup), ExtractOutcome::MissingDisk);
  ASSERT_EQ(host.boxes.size(), 1u);
  EXPECT_EQ(host.boxes[0], "D:\\setup.exe.003<P><P>Unable to open Setup File!<P><P>Access is denied.");
  EXPECT_EQ(mainFile, "");
}

TEST_F(UnPackTest, HostilePathsAreNeverWritten) {
  const char* hostile[] = {"..\\evil.txt",     "sub\\..\\..\\evil.txt", "\\evil.txt",  "/evil.txt",
                           "C:\\evil.txt",     "C:evil.txt",            "..",          "sub/../../evil.txt",
                           "\\\\server\\x.txt", "a.txt:stream",         "...\\evil.txt", "sub\\.. \\evil.txt",
                           "NUL",              "com1.txt",              "",            "a\\\\b.txt"};
  std::vector<PackageFile> files;
  for (const char* path : hostile) files.push_back(File(path, "bad", 0, true));
  files.push_back(File("good.txt", "good"));
  host.files[kSetup] = BuildPackage(Recipe(), files);
  EXPECT_EQ(Extract(kSetup), ExtractOutcome::Completed);
  EXPECT_TRUE(host.OnlyInside({kSetup}));
  EXPECT_EQ(host.files.size(), 2u);
  EXPECT_EQ(Out("good.txt"), "good");
  EXPECT_EQ(mainFile, "");  // a refused record never names the program
  EXPECT_EQ(SaveFailureCount(), int(sizeof hostile / sizeof hostile[0]));
  ASSERT_EQ(host.boxes.size(), 1u);
  EXPECT_NE(host.boxes[0].find("Unable to save Extracted File!"), std::string::npos);
  EXPECT_TRUE(host.Logged("Unsafe path refused: \"..\\evil.txt\""));
}

TEST_F(UnPackTest, DamagedPackagesStopWithAMessageAndLaunchNothing) {
  const std::vector<PackageFile> files = {File("Engine.exe", "E", 0, true), File("a.txt", std::string(9000, 'a')),
                                          File("z.txt", "Z")};
  const std::string good = BuildPackage(Recipe(), files);
  MemorySource source(good);
  PackageTrailer trailer;
  ReadTrailer(source, trailer);
  // Offsets of the records: language, settings, Engine.exe, a.txt, z.txt.
  std::vector<size_t> at{trailer.DataOffset()};
  for (int i = 0; i < 5; ++i) at.push_back(at.back() + 4 + ReadU32LE(reinterpret_cast<const uint8_t*>(&good[at.back()])));

  struct Case {
    const char* name;
    std::function<void(std::string&)> damage;
    ExtractOutcome outcome;
    const char* box;
    bool lastFileWritten;  // the damage lies behind z.txt
  } cases[] = {
      {"compressed bytes changed", [&](std::string& p) { p[at[3] + 40] ^= 0x5A; }, ExtractOutcome::DecompressFailed,
       "zlib: ", false},
      {"record past the end",
       [&](std::string& p) { WriteU32LE(reinterpret_cast<uint8_t*>(&p[at[3]]), 0x7FFFFF00u); },
       ExtractOutcome::DamagedDisk, "A record runs past the end of the file.", false},
      {"stored record past the end",
       [&](std::string& p) { WriteU32LE(reinterpret_cast<uint8_t*>(&p[at[4]]), 0x80000001u); },
       ExtractOutcome::DamagedDisk, "A record runs past the end of the file.", false},
      {"lead record past the end",
       [&](std::string& p) { WriteU32LE(reinterpret_cast<uint8_t*>(&p[at[0]]), 0x10000000u); },
       ExtractOutcome::DamagedDisk, "Damaged Setup File!", false},
      // One byte more before the trailer: 75 bytes left, so the loop reads the trailer's
      // first bytes as one more length.
      {"75 bytes left", [&](std::string& p) {
         p.insert(at[5], 1, '\0');
         WriteU32LE(reinterpret_cast<uint8_t*>(&p[252]), static_cast<uint32_t>(p.size()));
       },
       ExtractOutcome::DamagedDisk, "Damaged Setup File!", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    host = MemoryHost();
    ResetSaveFailuresForTesting();
    std::string package = good;
    c.damage(package);
    Reseal(package);
    host.files[kSetup] = package;
    EXPECT_EQ(Extract(kSetup, "Agent.exe"), c.outcome);
    EXPECT_EQ(mainFile, "");
    EXPECT_FALSE(Has("Agent.exe"));
    EXPECT_EQ(Has("z.txt"), c.lastFileWritten);
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_NE(host.boxes[0].find(c.box), std::string::npos) << host.boxes[0];
    EXPECT_EQ(host.boxes[0].find(kSetup), 0u);
    EXPECT_TRUE(host.Logged("UnCompressTime: "));
  }
}

TEST_F(UnPackTest, DamagedCompressedRecordNamesZlibsMessage) {
  std::string package = BuildPackage(Recipe(), {File("a.txt", std::string(9000, 'a'), 0, true)});
  const size_t trailerAt = TrailerAt(package);
  package[trailerAt - 3] ^= 0x40;  // inside the Adler-32 of the last record
  Reseal(package);
  host.files[kSetup] = package;
  EXPECT_EQ(Extract(kSetup), ExtractOutcome::DecompressFailed);
  ASSERT_EQ(host.boxes.size(), 1u);
  EXPECT_EQ(host.boxes[0], std::string(kSetup) + "<P><P>Unable to decompress Setup Data!<P><P>zlib: data error");
  EXPECT_FALSE(Has("a.txt"));  // not a byte of a record that failed its check
  EXPECT_TRUE(host.Logged("EZLibError: data error in record 3 of D:\\setup.exe"));
}

TEST_F(UnPackTest, EmptyDestinationWritesNothing) {
  host.files[kSetup] = BuildPackage(Recipe(), {File("a.txt", "A", 0, true)});
  ExtractRequest request;
  request.packagePath = kSetup;
  request.agentFileName = "Agent.exe";
  EXPECT_EQ(RunExtraction(request, host, checksumOk, mainFile), ExtractOutcome::Completed);
  EXPECT_EQ(host.files.size(), 1u);
  ASSERT_EQ(host.boxes.size(), 2u);
  EXPECT_EQ(host.boxes[0], "<P><P>Unable to create Directory!<P><P>Access is denied.");
  EXPECT_NE(host.boxes[1].find("Unable to save Extracted File!"), std::string::npos);
  EXPECT_EQ(mainFile, "");
}

TEST_F(UnPackTest, WritesBehindTheReadsChangeNothingThatShows) {
  // Files written behind the reads, through a ring smaller than a record or none at all: every
  // file, log line, box and progress step comes as when each file is written before the next
  // record is read, also when a write fails, a path is refused, a record is damaged or the
  // window is closed while writes are still queued.
  std::vector<PackageFile> files = {File("Engine.exe", "MZengine", 0x5A8C6000, true, "/X=1")};
  for (int i = 0; i < 40; ++i)
    files.push_back(File("dir" + std::to_string(i % 3) + "\\f" + std::to_string(i) + ".txt",
                         std::string(100 + 97 * i, char('a' + i % 26)), 0x5A8C6000 + i));
  files.push_back(File("big.bin", std::string(300000, 'b')));
  std::vector<PackageFile> hostile = files;
  hostile.insert(hostile.begin() + 20, File("..\\evil.txt", "bad"));
  std::string damaged = BuildPackage(Recipe(), files);
  damaged[TrailerAt(damaged) - 3] ^= 0x40;  // the Adler-32 of the last record
  Reseal(damaged);
  MemorySource source(damaged);
  PackageTrailer trailer;
  ReadTrailer(source, trailer);
  const int lead = static_cast<int>(trailer.LeadRecordCount());

  const struct Scenario {
    const char* name;
    std::string package;
    std::string readOnly;
    int cancelAt;
  } scenarios[] = {
      {"ordinary", BuildPackage(Recipe(), files), "", -1},
      {"a save fails", BuildPackage(Recipe(), files), kDest + "\\dir1\\f25.txt", -1},
      {"refused path", BuildPackage(Recipe(), hostile), "", -1},
      {"damaged record", damaged, "", -1},
      {"window closed", BuildPackage(Recipe(), files), "", lead + 30},
  };
  struct Seen {
    ExtractOutcome outcome;
    std::string mainFile;
    std::map<std::string, std::string> files;
    std::map<std::string, uint32_t> dates;
    std::vector<std::string> timeline;
  };
  auto run = [&](const Scenario& s, bool lazy, size_t ring, int* batches) {
    host = MemoryHost();
    host.files[kSetup] = s.package;
    if (!s.readOnly.empty()) host.readOnly = {s.readOnly};
    host.cancelAt = s.cancelAt;
    host.lazyWriter = lazy;
    ResetSaveFailuresForTesting();
    ForgetWrittenFilesForTesting();
    g_progress.clear();
    Seen seen;
    g_timeline = &seen.timeline;
    seen.outcome = Extract(kSetup, "Agent.exe", false, false, ring);
    g_timeline = nullptr;
    seen.mainFile = mainFile;
    seen.files = host.files;
    seen.dates = host.dates;
    if (batches) *batches = host.writerBatches;
    return seen;
  };
  for (const Scenario& s : scenarios) {
    SCOPED_TRACE(s.name);
    const Seen serial = run(s, false, kDefaultWriteRing, nullptr);
    for (const size_t ring : {size_t(0), size_t(4096), kDefaultWriteRing}) {
      SCOPED_TRACE(ring);
      int batches = 0;
      const Seen behind = run(s, true, ring, &batches);
      EXPECT_GT(batches, 0);  // the writes did wait for the window thread
      EXPECT_EQ(behind.outcome, serial.outcome);
      EXPECT_EQ(behind.mainFile, serial.mainFile);
      EXPECT_EQ(behind.files, serial.files);
      EXPECT_EQ(behind.dates, serial.dates);
      EXPECT_EQ(behind.timeline, serial.timeline);
    }
  }
  // The serial runs themselves: the failed save ended it there, the refused path did not.
  EXPECT_EQ(run(scenarios[1], false, 4096, nullptr).files.count(kDest + "\\dir2\\f26.txt"), 0u);
  EXPECT_EQ(run(scenarios[2], false, 4096, nullptr).files.count(kDest + "\\big.bin"), 1u);
}
