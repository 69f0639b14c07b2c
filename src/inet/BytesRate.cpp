#include "inet/BytesRate.h"

#include <chrono>
#include <cstring>

#include "support/Text.h"

namespace stub {

static uint32_t SystemTick() {
  using namespace std::chrono;
  return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// Where ProgressText takes its ticks from.
static TickSource g_tickSource = SystemTick;

void SetRateTickSourceForTesting(TickSource source) { g_tickSource = source ? source : SystemTick; }

TBytesRate::TBytesRate(bool kilobytes, bool megabytes) : kilobytes_(kilobytes), megabytes_(megabytes) { Reset(); }

void TBytesRate::Reset() {
  std::memset(ticks_, 0, sizeof ticks_);
  std::memset(bytes_, 0, sizeof bytes_);
  rateText_.clear();
  lastRateTime_ = 0;
}

std::string TBytesRate::ProgressText(int64_t total, int64_t received, int32_t lastRead) {
  std::string amount;
  if (megabytes_)
    amount = MBText(static_cast<double>(received), 1, true) + "/" + MBText(static_cast<double>(total), 1, true) + " MB";
  else if (kilobytes_)
    amount = KBText(static_cast<double>(received), 1, true) + "/" + KBText(static_cast<double>(total), 1, true) + " KB";
  else
    amount = IntText(received) + "/" + IntText(total) + " Bytes";

  const uint32_t now = g_tickSource();
  std::memmove(ticks_, ticks_ + 1, 4 * sizeof ticks_[0]);
  ticks_[4] = now;
  const uint32_t elapsed = now - ticks_[0];
  std::memmove(bytes_, bytes_ + 1, 4 * sizeof bytes_[0]);
  bytes_[4] = lastRead;
  // The four newest reads arrived during the time measured from the oldest one.
  const double bytes = double(bytes_[1]) + bytes_[2] + bytes_[3] + bytes_[4];
  if (ticks_[0] != 0 && elapsed != 0 && now - lastRateTime_ > 500) {
    lastRateTime_ = now;
    rateText_ = FixedText(bytes / (elapsed / 1000.0) / 1024.0, 2);
  }
  return rateText_.empty() ? amount : amount + "   -   " + rateText_ + " KB/Sec";
}

}  // namespace stub
