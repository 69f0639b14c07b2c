// Download speed of HTTP_DownloadFile_Incremental against the ceiling its pacing sets: before
// every read of at most 8192 bytes it waits 2 ms serving window messages, and a bar that
// serves messages in its waits (as the stub's does) adds two waits of 1 ms per read. The
// download keeps these waits by a deadline, so the sleep granularity of the system does not
// lower that ceiling.
//
//   download_bench URL DEST [--runs N]
//
// Prints the measured length of one plain 2 ms wait (with the system timer as it is and
// raised to 1 ms: what waits that each sleep on their own would cost), then for each run the
// MB/s of a download into DEST without a bar and with a bar, and the medians next to the
// rates the waits allow.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "inet/InetHTTP.h"
#include "support/Files.h"
#include "support/Utils.h"

using namespace stub;

namespace {

double Now() { return MillisecondCounter(); }

// Average milliseconds of WaitPumping(0, 2) over count waits.
double AverageWait(int count) {
  double start = Now();
  for (int i = 0; i < count; ++i) WaitPumping(0, 2);
  return (Now() - start) / count;
}

typedef UINT(WINAPI* PeriodFunction)(UINT);

void NoHandler(int, int64_t, const std::string&, int, int) {}
void Pump(unsigned milliseconds) { WaitPumping(0, milliseconds); }

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

// MB/s of one download, or -1 when it failed.
double Download(const std::string& url, const std::string& dest, bool withBar, int64_t& bytes) {
  std::string error, data;
  DeleteFileA(dest.c_str());
  double start = Now();
  bool ok;
  if (withBar) {
    SetProgBarWait(Pump);
    TProgBar bar(NoHandler);
    ok = HTTP_DownloadFile_Incremental(nullptr, url, dest, error, &bar, data);
  } else {
    ok = HTTP_DownloadFile_Incremental(nullptr, url, dest, error, nullptr, data);
  }
  double seconds = (Now() - start) / 1000.0;
  if (!ok) {
    std::printf("download failed: %s\n", error.c_str());
    return -1;
  }
  bytes = FileSizeByName(dest);
  return bytes / 1e6 / seconds;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: download_bench URL DEST [--runs N]\n");
    return 2;
  }
  const std::string url = argv[1], dest = argv[2];
  int runs = 3;
  if (argc >= 5 && std::strcmp(argv[3], "--runs") == 0) runs = std::max(1, atoi(argv[4]));

  PeriodFunction begin = LoadProcAs<PeriodFunction>("winmm.dll", "timeBeginPeriod");
  PeriodFunction end = LoadProcAs<PeriodFunction>("winmm.dll", "timeEndPeriod");
  double waitDefault = AverageWait(500);
  double waitRaised = -1;
  if (begin && end && begin(1) == 0) {
    waitRaised = AverageWait(500);
    end(1);
  }
  std::printf("2 ms wait before each read: %.2f ms with the timer as it is, %.2f ms with it raised to 1 ms\n",
              waitDefault, waitRaised);

  std::vector<double> plain, barred;
  int64_t bytes = 0;
  for (int i = 0; i < runs; ++i) {
    double a = Download(url, dest, false, bytes);
    double b = Download(url, dest, true, bytes);
    if (a < 0 || b < 0) return 1;
    plain.push_back(a);
    barred.push_back(b);
    std::printf("run %d: %s bytes, %.2f MB/s without a bar, %.2f MB/s with a bar\n", i + 1,
                IntText(bytes).c_str(), a, b);
  }
  DeleteFileA(dest.c_str());
  const double chunk = kDownloadBufferSize;
  std::printf("median: %.2f MB/s without a bar (the 2 ms pacing allows %.2f MB/s; with the measured wait %.2f)\n",
              Median(plain), chunk / 2e-3 / 1e6, chunk / (waitRaised > 0 ? waitRaised : waitDefault) / 1e3);
  std::printf("median: %.2f MB/s with a bar (2 ms + two 1 ms waits allow %.2f MB/s)\n", Median(barred),
              chunk / 4e-3 / 1e6);
  UnloadInternetLibrary();
  return 0;
}
