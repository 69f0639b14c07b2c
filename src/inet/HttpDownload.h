// The read loop of an HTTP download, apart from the system: how a file of a given length is
// read (chunk size, bar range, amount display), the process-wide abort flag, and the loop
// that reads, stores, drives the bar and stops on the abort flag. InetHTTP feeds it WinINet
// and files; tests feed it scripted reads.
#pragma once

#include <cstdint>
#include <string>

#include "inet/VProgBar.h"

namespace stub {

// The read buffer; no read asks for more.
const uint32_t kDownloadBufferSize = 8192;

struct DownloadPlan {
  uint32_t chunk;      // bytes per read: a tenth of the length, within 1..8192
  int64_t barMaximum;  // the number of reads the length takes, plus one
  bool kilobytes;      // amounts in KB (length above 100 KiB)
  bool megabytes;      // amounts in MB (length above 10 MiB)
};
// length -1 (the server gave none) counts as 4294967295 bytes, as every length here is
// taken as an unsigned 32-bit number: 8192-byte reads and megabyte display.
DownloadPlan PlanDownload(int32_t length);

// The abort flag: false at start, kept until set again. The stub window and the agent set it;
// a running download stops after its current read.
void SetDownloadAbort(bool flag);
bool DownloadAbortRequested();

// What the loop reads from and stores into.
class DownloadChannel {
 public:
  virtual ~DownloadChannel() = default;
  // The short wait before every read that keeps the thread's windows served.
  virtual void Pause() = 0;
  // Up to size bytes into buffer; false when the read failed.
  virtual bool Read(char* buffer, uint32_t size, uint32_t& got) = 0;
  // Keeps bytes that arrived; false when they could not be kept.
  virtual bool Store(const char* bytes, uint32_t size) = 0;
  // Why the last Read or Store failed, "" when nobody can tell.
  virtual std::string FailureReason() = 0;
};

struct DownloadOutcome {
  int64_t received = 0;   // bytes read
  std::string errorText;  // "" unless a read or store failed or the abort flag stopped it
};

// Starts bar (when given) at 1 of the plan's maximum, then reads until a read gives 0 bytes
// or fails or the abort flag is set, stepping the bar with the progress text after every
// read that brought bytes.
DownloadOutcome RunDownloadLoop(DownloadChannel& channel, int32_t length, const std::string& remoteName,
                                TProgBar* bar);

// Description files are a few kilobytes: a download kept in memory stops at this size, so that
// a server that announces or sends without end cannot make the stub hold it all.
const uint32_t kMemoryDownloadLimit = 1048576;
// Appends bytes to data; false, with the reason, when that would pass kMemoryDownloadLimit.
bool KeepInMemory(std::string& data, const char* bytes, uint32_t size, std::string& reason);
// The announced length of a download kept in memory is too large to take ("" when it is not,
// or when the server announced none: then KeepInMemory stops it).
std::string MemoryLimitReason(int32_t length);

// Why received bytes are not the whole file of the given length ("" when they are): fewer or
// more bytes than the server announced, or no length announced at all.
std::string IncompleteReason(int32_t length, int64_t received);

}  // namespace stub
