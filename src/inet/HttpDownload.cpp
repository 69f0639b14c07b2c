#include "inet/HttpDownload.h"

#include <vector>

#include "inet/BytesRate.h"
#include "inet/HttpText.h"
#include "support/Text.h"

namespace stub {

// Set to stop a running download after its current read; only SetDownloadAbort writes it.
static bool g_downloadAbort = false;

void SetDownloadAbort(bool flag) { g_downloadAbort = flag; }
bool DownloadAbortRequested() { return g_downloadAbort; }

DownloadPlan PlanDownload(int32_t length) {
  const uint32_t size = static_cast<uint32_t>(length);
  DownloadPlan plan;
  plan.chunk = size / 10;
  if (plan.chunk < 1) plan.chunk = 1;
  if (plan.chunk > kDownloadBufferSize) plan.chunk = kDownloadBufferSize;
  plan.barMaximum = static_cast<int64_t>((uint64_t(size) + plan.chunk - 1) / plan.chunk) + 1;
  plan.kilobytes = size > 102400;
  plan.megabytes = size > 10485760;
  return plan;
}

DownloadOutcome RunDownloadLoop(DownloadChannel& channel, int32_t length, const std::string& remoteName,
                                TProgBar* bar) {
  DownloadOutcome outcome;
  const DownloadPlan plan = PlanDownload(length);
  if (bar) bar->Start(1, plan.barMaximum);
  TBytesRate rate(plan.kilobytes, plan.megabytes);
  std::vector<char> buffer(kDownloadBufferSize);
  uint32_t got = 0;
  do {
    channel.Pause();
    got = 0;
    bool ok = channel.Read(buffer.data(), plan.chunk, got);
    if (ok && got > plan.chunk) got = plan.chunk;  // a reader never gives more than asked
    if (ok) {
      outcome.received += got;
      // Bytes that cannot be kept end the download like a failed read: going on would leave
      // a hole in the file.
      if (got > 0 && !channel.Store(buffer.data(), got)) ok = false;
    }
    if (!ok) {
      got = 0;
      outcome.errorText = TransferFailureText(remoteName, channel.FailureReason());
    }
    // Lengths are unsigned 32-bit numbers: a file of 2 GiB or more is not a negative size.
    std::string text = rate.ProgressText(static_cast<uint32_t>(length), outcome.received, static_cast<int32_t>(got));
    if (ok && got > 0 && bar) bar->Step(text);
  } while (got != 0 && !DownloadAbortRequested());
  if (DownloadAbortRequested()) outcome.errorText = AbortedText();
  return outcome;
}

static std::string LimitText() { return "more than " + IntText(kMemoryDownloadLimit) + " bytes"; }

bool KeepInMemory(std::string& data, const char* bytes, uint32_t size, std::string& reason) {
  if (data.size() + size > kMemoryDownloadLimit) {
    reason = "the server sent " + LimitText();
    return false;
  }
  data.append(bytes, size);
  return true;
}

std::string MemoryLimitReason(int32_t length) {
  if (length == -1 || static_cast<uint32_t>(length) <= kMemoryDownloadLimit) return std::string();
  return "the server announced " + IntText(static_cast<uint32_t>(length)) + " bytes, " + LimitText() +
         " of a description file";
}

std::string IncompleteReason(int32_t length, int64_t received) {
  if (length == -1) return "the server gave no length; " + IntText(received) + " bytes received";
  const int64_t expected = static_cast<uint32_t>(length);
  if (received == expected) return std::string();
  return IntText(received) + " of " + IntText(expected) + " bytes received";
}

}  // namespace stub
