// The portable half of the HTTP download: addresses, names, read plans, error pages and the
// read loop driven by a scripted channel.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "inet/DownloadPace.h"
#include "inet/HttpDownload.h"
#include "inet/HttpText.h"

using namespace stub;

TEST(HttpText, DownloadAddressAddsHttpOnlyWithoutScheme) {
  struct Case {
    const char* url;
    const char* address;
  } cases[] = {
      {"host/dir/setup.exe", "http://host/dir/setup.exe"},
      {"127.0.0.1:8080/a.bin", "http://127.0.0.1:8080/a.bin"},
      {"http://host/a", "http://host/a"},
      {"HTTP://HOST/A", "HTTP://HOST/A"},
      {"https://host/a", "https://host/a"},  // never "http://https://..."
      {"HTTPS://host/a", "HTTPS://host/a"},
      {"ftp://host/a", "ftp://host/a"},
      // A scheme must come first: one in the query does not count.
      {"host/get?from=http://other/x", "http://host/get?from=http://other/x"},
      {"://host/a", "http://://host/a"},
  };
  for (const Case& c : cases) EXPECT_EQ(DownloadAddress(c.url), c.address) << c.url;
}

TEST(HttpText, RemoteFileNameAndTempPath) {
  EXPECT_EQ(RemoteFileName("http://host/dir/setup.exe"), "setup.exe");
  EXPECT_EQ(RemoteFileName("http://host/dir/"), "");
  EXPECT_EQ(RemoteFileName("host\\dir\\a.info"), "a.info");
  EXPECT_EQ(RemoteFileName("setup.exe"), "setup.exe");

  EXPECT_EQ(TempDownloadPath("C:\\d\\f.exe", 500, 0), "C:\\d\\f.exe.500");
  EXPECT_EQ(TempDownloadPath("C:\\d\\f.exe", 500, 0x58A21234u), "C:\\d\\f.exe.1487017000");
  // Added as unsigned 32-bit numbers: no length (-1) plus a date wraps around.
  EXPECT_EQ(TempDownloadPath("f", -1, 0), "f.4294967295");
  EXPECT_EQ(TempDownloadPath("f", -1, 5), "f.4");
  // Only those names are the download's own to delete.
  EXPECT_TRUE(IsTempDownloadName("f.exe", "f.exe.500"));
  EXPECT_TRUE(IsTempDownloadName("f.exe", "F.EXE.4294967295"));
  for (const char* other : {"f.exe", "f.exe.", "f.exe.bak", "f.exe.12a", "f.exe1", "g.exe.1", "f.ex"})
    EXPECT_FALSE(IsTempDownloadName("f.exe", other)) << other;
}

TEST(HttpText, DosFileDateOfLastModified) {
  CivilTime t;
  t.year = 2024, t.month = 2, t.day = 29, t.hour = 13, t.minute = 45, t.second = 31;
  EXPECT_EQ(DosFileDate(t), ((44u << 9 | 2u << 5 | 29u) << 16) | (13u << 11 | 45u << 5 | 15u));
  struct Case {
    int year, month, day, hour, minute, second;
  } invalid[] = {
      {1979, 12, 31, 23, 59, 59}, {2108, 1, 1, 0, 0, 0}, {2023, 2, 29, 0, 0, 0}, {2024, 0, 1, 0, 0, 0},
      {2024, 13, 1, 0, 0, 0},     {2024, 4, 31, 0, 0, 0}, {2024, 1, 1, 24, 0, 0}, {0, 0, 0, 0, 0, 0},
  };
  for (const Case& c : invalid) {
    CivilTime v;
    v.year = c.year, v.month = c.month, v.day = c.day, v.hour = c.hour, v.minute = c.minute, v.second = c.second;
    EXPECT_EQ(DosFileDate(v), 0u) << c.year << "-" << c.month << "-" << c.day << " " << c.hour;
  }
}

TEST(HttpText, ErrorPageRecognition) {
  const std::string kMessage =
      "<B>404 File Not Found...</B><P><P>URL:  http://h/a.info.<P><P>Please make sure the file is available and "
      "access is allowed to this file.";
  struct Case {
    const char* content;
    bool errorPage;
  } cases[] = {
      {"<html>\r\n<head><title>404 Not Found</title></head>\r\n<body>nginx</body></html>", true},
      {"<title>Error 404</title>", true},  // a title holding 404 is enough on its own
      {"<HTML><HEAD><TITLE>Welcome</TITLE></HEAD></HTML>", true},
      {"<Html><Head><Title></Title>", true},
      {"[AutoUpdate]\r\nVersion=1.2\r\nSize=404\r\n", false},
      {"<title>Welcome</title> 404", false},
      {"</title>404<title>", false},
      {"<HEAD><HTML><TITLE>x</TITLE>", false},
      {"MZ\x90\0\x03\0\0\0<TITL 404", false},
      {"", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ErrorPageMessage(c.content, "http://h/a.info", false, "default"), c.errorPage ? kMessage : "default")
        << c.content;

  // Binary bytes before the page do not hide it.
  EXPECT_EQ(ErrorPageMessage(std::string("\0\x01\xff", 3) + "<title>404</title>", "http://h/a.info", false, ""),
            kMessage);

  const std::string iisPage = "<html><head><title>The page cannot be found</title></head>Microsoft-IIS/6.0";
  const std::string hint = "<P><P>If you are using an IIS webserver you must define appropriate MIME-Types.";
  EXPECT_EQ(ErrorPageMessage(iisPage, "http://h/a.info", true, ""), kMessage + hint);
  EXPECT_EQ(ErrorPageMessage(iisPage, "http://h/a.info", false, ""), kMessage);
  EXPECT_EQ(ErrorPageMessage("<title>404</title>", "http://h/a.info", true, ""), kMessage);
}

TEST(HttpDownloadPlan, ChunkBarAndDisplayFollowTheLength) {
  struct Case {
    int32_t length;
    uint32_t chunk;
    int64_t barMaximum;
    bool kilobytes, megabytes;
  } cases[] = {
      {500, 50, 11, false, false},
      {1, 1, 2, false, false},
      {9, 1, 10, false, false},
      {81920, 8192, 11, false, false},
      {100000, 8192, 14, false, false},
      {102400, 8192, 14, false, false},
      {102401, 8192, 14, true, false},
      {10485760, 8192, 1281, true, false},
      {10485761, 8192, 1282, true, true},
      // No length: read as the largest unsigned 32-bit number.
      {-1, 8192, 524289, true, true},
  };
  for (const Case& c : cases) {
    DownloadPlan plan = PlanDownload(c.length);
    EXPECT_EQ(plan.chunk, c.chunk) << c.length;
    EXPECT_EQ(plan.barMaximum, c.barMaximum) << c.length;
    EXPECT_EQ(plan.kilobytes, c.kilobytes) << c.length;
    EXPECT_EQ(plan.megabytes, c.megabytes) << c.length;
  }
}

TEST(HttpDownloadPace, WaitsKeepTheirSumAndForgiveLongStalls) {
  PaceClock pace(50);
  struct Step {
    double now, nominal, sleep;
  } steps[] = {
      {100.0, 2, 2.0},   // the first wait starts the pace
      {102.5, 2, 1.5},   // it ran 0.5 ms long: the next one is shorter
      {104.2, 1, 0.8},   // a bar's wait counts against the same deadline
      {107.0, 1, 0.0},   // 1 ms behind (a slow read): no sleep, the pace is caught up
      {107.5, 2, 0.5},
      {108.0, 2, 2.0},   // exactly on time
      {200.0, 2, 2.0},   // 90 ms late is beyond the 50 ms debt: forgiven, no burst follows
      {202.5, 2, 1.5},
  };
  for (const Step& s : steps) EXPECT_NEAR(pace.Advance(s.now, s.nominal), s.sleep, 1e-9) << s.now;
}

TEST(HttpDownloadPlan, IncompleteReason) {
  EXPECT_EQ(IncompleteReason(500, 500), "");
  EXPECT_EQ(IncompleteReason(100000, 5000), "5000 of 100000 bytes received");
  EXPECT_EQ(IncompleteReason(10, 12), "12 of 10 bytes received");
  EXPECT_EQ(IncompleteReason(-1, 77), "the server gave no length; 77 bytes received");
}

namespace {

struct BarEvent {
  int kind;
  int64_t maximum;
  std::string text;
  int position;
};
std::vector<BarEvent> g_barEvents;

void RecordBar(int kind, int64_t maximum, const std::string& text, int, int position) {
  g_barEvents.push_back({kind, maximum, text, position});
}

// Serves a body in the sizes asked for; a read can be made to fail, a store to fail, or the
// abort flag to be set while pausing before a given read.
class ScriptedChannel : public DownloadChannel {
 public:
  explicit ScriptedChannel(std::string body) : body_(std::move(body)) {}
  void Pause() override {
    ++pauses;
    if (pauses == abortAtPause) SetDownloadAbort(true);
  }
  bool Read(char* buffer, uint32_t size, uint32_t& got) override {
    asked.push_back(size);
    if (static_cast<int>(asked.size()) == failRead) return false;
    got = static_cast<uint32_t>(std::min<size_t>(size, body_.size() - at_));
    body_.copy(buffer, got, at_);
    at_ += got;
    return true;
  }
  bool Store(const char* bytes, uint32_t size) override {
    if (++stores == failStore) return false;
    stored.append(bytes, size);
    return true;
  }
  std::string FailureReason() override { return reason; }

  int pauses = 0, stores = 0;
  int abortAtPause = 0, failRead = 0, failStore = 0;
  std::string reason, stored;
  std::vector<uint32_t> asked;

 private:
  std::string body_;
  size_t at_ = 0;
};

class HttpDownloadLoop : public ::testing::Test {
 protected:
  void SetUp() override {
    SetDownloadAbort(false);
    g_barEvents.clear();
  }
  void TearDown() override { SetDownloadAbort(false); }
  static std::string Body(size_t n) {
    std::string body(n, '\0');
    for (size_t i = 0; i < n; ++i) body[i] = static_cast<char>(i * 31 % 253);
    return body;
  }
};

}  // namespace

TEST_F(HttpDownloadLoop, SmallFileInTenthsDrivesTheBar) {
  ScriptedChannel channel(Body(500));
  TProgBar bar(RecordBar);
  DownloadOutcome outcome = RunDownloadLoop(channel, 500, "a.bin", &bar);
  EXPECT_EQ(outcome.errorText, "");
  EXPECT_EQ(outcome.received, 500);
  EXPECT_EQ(channel.stored, Body(500));
  // Ten reads of 50 bytes and the read that finds the end, each after a pause.
  EXPECT_EQ(channel.asked, std::vector<uint32_t>(11, 50));
  EXPECT_EQ(channel.pauses, 11);
  ASSERT_EQ(g_barEvents.size(), 11u);
  EXPECT_EQ(g_barEvents[0].kind, 0);
  EXPECT_EQ(g_barEvents[0].maximum, 11);
  EXPECT_EQ(g_barEvents[0].position, 1);
  EXPECT_EQ(g_barEvents[1].kind, 1);
  EXPECT_EQ(g_barEvents[1].text, "50/500 Bytes");
  EXPECT_EQ(g_barEvents[10].kind, 1);
}

TEST_F(HttpDownloadLoop, NoLengthReadsFullChunksInMegabytes) {
  ScriptedChannel channel(Body(20000));
  TProgBar bar(RecordBar);
  DownloadOutcome outcome = RunDownloadLoop(channel, -1, "a.bin", &bar);
  EXPECT_EQ(outcome.errorText, "");
  EXPECT_EQ(outcome.received, 20000);
  EXPECT_EQ(channel.asked, std::vector<uint32_t>(4, 8192));
  ASSERT_EQ(g_barEvents.size(), 4u);
  EXPECT_EQ(g_barEvents[0].maximum, 524289);
  EXPECT_EQ(g_barEvents[1].text.substr(0, 4), "0.0/");
  EXPECT_EQ(g_barEvents[1].text.substr(g_barEvents[1].text.size() - 3), " MB");
}

TEST_F(HttpDownloadLoop, FailuresEndTheLoopWithTheirText) {
  struct Case {
    int failRead, failStore;
    std::string reason, errorText;
    int64_t received;
    size_t steps;
  } cases[] = {
      {3, 0, "The connection was reset", "a.bin --- Error downloading file (The connection was reset)", 100, 2},
      {1, 0, "", "a.bin --- Error downloading file", 0, 0},
      // Bytes that cannot be kept must not leave a hole: the loop stops there.
      {0, 2, "There is not enough space on the disk.",
       "a.bin --- Error downloading file (There is not enough space on the disk.)", 100, 1},
  };
  for (const Case& c : cases) {
    g_barEvents.clear();
    ScriptedChannel channel(Body(500));
    channel.failRead = c.failRead;
    channel.failStore = c.failStore;
    channel.reason = c.reason;
    TProgBar bar(RecordBar);
    DownloadOutcome outcome = RunDownloadLoop(channel, 500, "a.bin", &bar);
    EXPECT_EQ(outcome.errorText, c.errorText);
    EXPECT_EQ(outcome.received, c.received);
    EXPECT_EQ(g_barEvents.size(), 1 + c.steps) << c.errorText;
  }
}

TEST_F(HttpDownloadLoop, AbortStopsAfterTheCurrentRead) {
  // Set during the pump before the third read: that read still happens, then the loop stops.
  ScriptedChannel during(Body(500));
  during.abortAtPause = 3;
  DownloadOutcome outcome = RunDownloadLoop(during, 500, "a.bin", nullptr);
  EXPECT_EQ(outcome.errorText, "Download Aborted");
  EXPECT_EQ(during.asked.size(), 3u);
  EXPECT_EQ(during.stored, Body(150));

  // Still set from before: one read, then the same end.
  ScriptedChannel before(Body(500));
  outcome = RunDownloadLoop(before, 500, "a.bin", nullptr);
  EXPECT_EQ(outcome.errorText, "Download Aborted");
  EXPECT_EQ(before.asked.size(), 1u);

  // The abort text replaces a failure's.
  SetDownloadAbort(false);
  ScriptedChannel failing(Body(500));
  failing.abortAtPause = 2;
  failing.failRead = 2;
  EXPECT_EQ(RunDownloadLoop(failing, 500, "a.bin", nullptr).errorText, "Download Aborted");
}

namespace {

// A channel that keeps what arrives in memory, as a description-file download does.
class MemoryChannel : public ScriptedChannel {
 public:
  using ScriptedChannel::ScriptedChannel;
  bool Store(const char* bytes, uint32_t size) override { return KeepInMemory(stored, bytes, size, reason); }
};

}  // namespace

TEST_F(HttpDownloadLoop, DownloadsInMemoryStopAtTheirLimit) {
  // A server that sends more than it announced (or announced nothing) is cut off at the limit.
  MemoryChannel channel(Body(kMemoryDownloadLimit + 20000));
  DownloadOutcome outcome = RunDownloadLoop(channel, -1, "Product.info", nullptr);
  EXPECT_EQ(outcome.errorText, "Product.info --- Error downloading file (the server sent more than 1048576 bytes)");
  EXPECT_LE(channel.stored.size(), kMemoryDownloadLimit);
  EXPECT_EQ(channel.stored, Body(channel.stored.size()));
  MemoryChannel exact(Body(kMemoryDownloadLimit));
  EXPECT_EQ(RunDownloadLoop(exact, -1, "Product.info", nullptr).errorText, "");
  EXPECT_EQ(exact.stored.size(), kMemoryDownloadLimit);
  // An announced length past the limit is refused before the first read; lengths of 2 GiB
  // and more are unsigned.
  EXPECT_EQ(MemoryLimitReason(-1), "");
  EXPECT_EQ(MemoryLimitReason(static_cast<int32_t>(kMemoryDownloadLimit)), "");
  EXPECT_NE(MemoryLimitReason(static_cast<int32_t>(kMemoryDownloadLimit + 1)), "");
  EXPECT_EQ(MemoryLimitReason(static_cast<int32_t>(0x80000000u)),
            "the server announced 2147483648 bytes, more than 1048576 bytes of a description file");
}

TEST_F(HttpDownloadLoop, LengthsOfTwoGigabytesAndMoreAreShownUnsigned) {
  ScriptedChannel channel(Body(100));
  TProgBar bar(RecordBar);
  RunDownloadLoop(channel, static_cast<int32_t>(0xC0000000u), "big.bin", &bar);  // 3 GiB
  ASSERT_GE(g_barEvents.size(), 2u);
  EXPECT_NE(g_barEvents[1].text.find("/3,072.0 MB"), std::string::npos) << g_barEvents[1].text;
}
