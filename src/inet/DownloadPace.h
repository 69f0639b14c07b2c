// The pace of a download's waits, kept by a deadline: every wait of n milliseconds moves the
// deadline n milliseconds on and sleeps only until it. A wait the system lets run long (a
// 2 ms sleep that lasts 2.5) is made up by the next one, so the waits of a download add up
// to what they are meant to, not to what the timer makes of each.
#pragma once

namespace stub {

class PaceClock {
 public:
  // Lateness beyond maxDebt (a read that blocked, a busy machine) is forgiven rather than
  // made up: the download then goes on at its pace instead of racing to catch up.
  explicit PaceClock(double maxDebt = 50) : maxDebt_(maxDebt) {}
  // The milliseconds to sleep for a wait of nominal milliseconds that starts at now (both in
  // the same millisecond count); 0 when the download is behind its pace.
  double Advance(double now, double nominal);

 private:
  bool started_ = false;
  double deadline_ = 0;
  double maxDebt_;
};

}  // namespace stub
