// The progress handler type, the window-free progress bar front TProgBar that forwards
// start, step and reset notifications to one, and the counter of the stub's activity bar.
#pragma once

#include <cstdint>
#include <string>

namespace stub {

// kind 0 resets a display to the range 0..maximum with the given step and position; kind 1
// advances it one step. The text may describe the step.
typedef void (*ProgressHandler)(int kind, int64_t maximum, const std::string& text, int step, int position);

// Every wait of TProgBar: the Windows layer installs a wait that serves the thread's window
// messages (StubProgBar does); without one the bar does not wait.
typedef void (*ProgressWait)(unsigned milliseconds);
void SetProgBarWait(ProgressWait wait);
ProgressWait ProgBarWait();

class TProgBar {
 public:
  explicit TProgBar(ProgressHandler handler) : handler_(handler) {}
  ~TProgBar() { Finish(0, 0); }
  TProgBar(const TProgBar&) = delete;
  TProgBar& operator=(const TProgBar&) = delete;

  void Start(int position, int64_t maximum);
  void Step(const std::string& text);
  void Finish(unsigned before, unsigned after);

  // Waits before and after each notification: [0]/[1] Start, [2]/[3] Step, [4]/[5] Finish.
  unsigned delays[6] = {0, 0, 0, 0, 0, 0};

 private:
  void Send(int kind, int64_t maximum, const std::string& text, int step, int position);
  ProgressHandler handler_;
};

// The stub's activity bar runs 0..5: every step moves it one place, from 5 back to 0.
struct ActivityCounter {
  int value = 0;
  int Advance() { return value = value >= 5 ? 0 : value + 1; }
};

}  // namespace stub
