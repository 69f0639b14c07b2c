#include "inet/DownloadPace.h"

namespace stub {

double PaceClock::Advance(double now, double nominal) {
  if (!started_ || now - deadline_ > maxDebt_) deadline_ = now;
  started_ = true;
  deadline_ += nominal;
  return deadline_ > now ? deadline_ - now : 0;
}

}  // namespace stub
