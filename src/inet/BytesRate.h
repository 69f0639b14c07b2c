// The progress text of a transfer: amounts in bytes, KB or MB, and a rate in KB/s averaged
// over the last five reads and renewed at most every 500 ms.
#pragma once

#include <cstdint>
#include <string>

namespace stub {

// A millisecond tick counter; the system's by default, a test's through SetRateTickSource.
typedef uint32_t (*TickSource)();
void SetRateTickSourceForTesting(TickSource source);  // null restores the system's

class TBytesRate {
 public:
  // The download passes kilobytes = length > 102400 and megabytes = length > 10485760.
  TBytesRate(bool kilobytes, bool megabytes);
  void Reset();
  // The text after a read of lastRead bytes, received of total so far.
  std::string ProgressText(int64_t total, int64_t received, int32_t lastRead);

 private:
  uint32_t ticks_[5];    // tick of each of the last five reads, oldest first
  int32_t bytes_[5];     // byte count of each of them
  bool kilobytes_;
  bool megabytes_;
  std::string rateText_;  // empty until the first rate is known
  uint32_t lastRateTime_; // when the rate text was last renewed
};

}  // namespace stub
