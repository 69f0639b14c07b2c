// Transfer-rate texts driven by a fake tick counter, and the notifications of TProgBar.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "inet/BytesRate.h"
#include "inet/VProgBar.h"

using namespace stub;

namespace {

uint32_t g_now = 0;
uint32_t FakeTick() { return g_now; }

class BytesRateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_now = 100000;
    SetRateTickSourceForTesting(FakeTick);
  }
  void TearDown() override { SetRateTickSourceForTesting(nullptr); }
};

}  // namespace

TEST_F(BytesRateTest, AmountsInBytesKilobytesOrMegabytes) {
  // The download's choice of display for a total of 102400, one byte more, and 10 MiB + 1.
  struct Case {
    int64_t total, received;
    const char* text;
  } cases[] = {
      {4096, 1536, "1536/4096 Bytes"},
      {102400, 512, "512/102400 Bytes"},
      {102401, 51200, "50.0/100.0 KB"},
      {10485761, 5242880, "5.0/10.0 MB"},
      {3221225472LL, 2147483648LL, "2,048.0/3,072.0 MB"},
  };
  for (const Case& c : cases) {
    TBytesRate rate(c.total > 102400, c.total > 10485760);
    EXPECT_EQ(rate.ProgressText(c.total, c.received, 100), c.text);
  }
  TBytesRate kilobytes(true, false);
  EXPECT_EQ(kilobytes.ProgressText(20480000, 12641894, 100), "12,345.6/20,000.0 KB");
}

TEST_F(BytesRateTest, RateFromTheFifthReadOverTheLastFourReads) {
  TBytesRate rate(true, false);
  std::vector<std::string> texts;
  for (int i = 1; i <= 6; ++i) {
    g_now += 250;
    texts.push_back(rate.ProgressText(20480000, i * 131072, 131072));
  }
  EXPECT_EQ(texts[0], "128.0/20,000.0 KB");
  for (int i = 1; i < 4; ++i) EXPECT_EQ(texts[i].find("KB/Sec"), std::string::npos) << i;
  // Four reads of 128 KiB in 1000 ms.
  EXPECT_EQ(texts[4], "640.0/20,000.0 KB   -   512.00 KB/Sec");
  // Only 250 ms later: the rate text stays.
  EXPECT_EQ(texts[5], "768.0/20,000.0 KB   -   512.00 KB/Sec");
}

TEST_F(BytesRateTest, RenewedOnlyAfter500msSoAStallShowsLate) {
  TBytesRate rate(false, false);
  std::string last;
  for (int i = 0; i < 5; ++i) {
    g_now += 100;
    last = rate.ProgressText(1000000, 1000, 1024);
  }
  // Five reads, 400 ms from the oldest to the newest: the four newest brought 4 KiB.
  EXPECT_EQ(last, "1000/1000000 Bytes   -   10.00 KB/Sec");
  // The transfer stalls: reads of 0 bytes. Within 500 ms of the last renewal nothing changes.
  for (int i = 0; i < 4; ++i) {
    g_now += 100;
    EXPECT_EQ(rate.ProgressText(1000000, 1000, 0), "1000/1000000 Bytes   -   10.00 KB/Sec") << i;
  }
  g_now += 101;
  // 501 ms after the renewal: the four newest reads brought 0 bytes.
  EXPECT_EQ(rate.ProgressText(1000000, 1000, 0), "1000/1000000 Bytes   -   0.00 KB/Sec");
}

TEST_F(BytesRateTest, ResetForgetsTheRate) {
  TBytesRate rate(false, false);
  for (int i = 0; i < 5; ++i) {
    g_now += 200;
    rate.ProgressText(10, 5, 1);
  }
  ASSERT_NE(rate.ProgressText(10, 5, 1).find("KB/Sec"), std::string::npos);
  rate.Reset();
  g_now += 1000;
  EXPECT_EQ(rate.ProgressText(10, 6, 1), "6/10 Bytes");
}

namespace {

std::vector<std::string> g_events;

void RecordHandler(int kind, int64_t maximum, const std::string& text, int step, int position) {
  g_events.push_back("kind " + std::to_string(kind) + " max " + std::to_string(maximum) + " text '" + text +
                     "' step " + std::to_string(step) + " pos " + std::to_string(position));
}

void RecordWait(unsigned ms) { g_events.push_back("wait " + std::to_string(ms)); }

}  // namespace

TEST(ProgBar, NotificationsAndTheirWaits) {
  g_events.clear();
  SetProgBarWait(RecordWait);
  {
    TProgBar bar(RecordHandler);
    for (unsigned i = 0; i < 6; ++i) bar.delays[i] = 10 * (i + 1);
    bar.Start(3, 120);
    bar.Step("file.txt");
    bar.Finish(7, 8);
    g_events.push_back("--");
  }
  SetProgBarWait(nullptr);
  const std::vector<std::string> expected = {
      "wait 10", "kind 0 max 120 text '' step 1 pos 3", "wait 20",
      "wait 30", "kind 1 max 0 text 'file.txt' step 0 pos 0", "wait 40",
      "wait 7", "wait 50", "kind 0 max 0 text '' step 1 pos 0", "wait 60", "wait 8",
      "--",
      // Destruction empties the bar once more.
      "wait 0", "wait 50", "kind 0 max 0 text '' step 1 pos 0", "wait 60", "wait 0",
  };
  EXPECT_EQ(g_events, expected);
}

TEST(ProgBar, WithoutHandlerNothingHappens) {
  TProgBar bar(nullptr);
  bar.Start(0, 10);
  bar.Step("x");
}

TEST(ProgBar, ActivityCounterWrapsAfterFive) {
  ActivityCounter counter;
  std::vector<int> seen;
  for (int i = 0; i < 13; ++i) seen.push_back(counter.Advance());
  EXPECT_EQ(seen, (std::vector<int>{1, 2, 3, 4, 5, 0, 1, 2, 3, 4, 5, 0, 1}));
}
