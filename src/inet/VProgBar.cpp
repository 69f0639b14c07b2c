#include "inet/VProgBar.h"

namespace stub {

// The wait between notifications; installed by the Windows layer.
static ProgressWait g_wait = nullptr;

void SetProgBarWait(ProgressWait wait) { g_wait = wait; }
ProgressWait ProgBarWait() { return g_wait; }

// Even a delay of 0 waits: the installed wait then serves the pending messages once.
static void Wait(unsigned milliseconds) {
  if (g_wait) g_wait(milliseconds);
}

void TProgBar::Send(int kind, int64_t maximum, const std::string& text, int step, int position) {
  if (handler_) handler_(kind, maximum, text, step, position);
}

void TProgBar::Start(int position, int64_t maximum) {
  Wait(delays[0]);
  Send(0, maximum, std::string(), 1, position);
  Wait(delays[1]);
}

void TProgBar::Step(const std::string& text) {
  Wait(delays[2]);
  Send(1, 0, text, 0, 0);
  Wait(delays[3]);
}

void TProgBar::Finish(unsigned before, unsigned after) {
  Wait(before);
  Wait(delays[4]);
  Send(0, 0, std::string(), 1, 0);
  Wait(delays[5]);
  Wait(after);
}

}  // namespace stub
