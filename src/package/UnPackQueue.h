// The extraction's file writes, carried out in order on a second thread while the window
// thread reads and inflates the next records. Record data goes into one ring of memory of a
// fixed size, so what is in flight never grows with the package; a record larger than the
// ring waits until the ring is empty and takes heap blocks for the rest.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "package/ZLibOpen.h"

namespace stub {

class ExtractHost;

// Bytes written one piece after the other, without joining them first.
struct BytePiece {
  const char* data;
  size_t size;
};
typedef std::vector<BytePiece> BytePieces;

// What identifies a file this process wrote: a later record of the same path is appended only
// to that very file, with the size it was left at.
struct FileStamp {
  uint64_t id = 0;    // the file system's number of the file; 0: not written by this process
  int64_t size = -1;  // its size after the last write
  uint64_t times = 0; // its creation time (a file's number may be reused after a deletion)
};

// The stamp of the file this process last wrote at path (compared as Windows compares
// names), or null. Read it only while no extraction runs.
const FileStamp* WrittenFileStamp(const std::string& path);
void ForgetWrittenFilesForTesting();

// One file record's data to write.
struct WriteJob {
  // Filled in by the window thread.
  std::string path;
  std::string folder;  // made first (with its parents) when not empty
  uint32_t dosDateTime = 0;
  BytePieces data;
  size_t dataSize = 0;
  uint32_t ringBytes = 0;  // of the ring, given back when the job is done
  std::vector<std::unique_ptr<char[]>> overflow;
  // Filled in by whoever writes.
  bool skipped = false;  // not written: an earlier job failed
  bool ok = false;
  bool existed = false;  // something was at path before
  uint32_t error = 0;    // the system's code for the failure
};

// The thread the writes run on. The Windows layer makes it of CreateThread and two events;
// without one (the host returns none) every job is carried out as it is queued.
class WriterThread {
 public:
  virtual ~WriterThread() = default;
  virtual bool Start(void (*run)(void*), void* arg) = 0;
  virtual void Join() = 0;
  // The window thread's wait for the writer: until woken or a few milliseconds have passed,
  // serving window messages.
  virtual void WaitForWriter() = 0;
  virtual void WakeCaller() = 0;
  // The writer's wait for work.
  virtual void WaitForWork() = 0;
  virtual void WakeWriter() = 0;
};

class WriteQueue : public InflateSink {
 public:
  WriteQueue(ExtractHost& host, size_t ringBytes);
  ~WriteQueue() override;
  // False when the ring could not be allocated.
  bool Ready() const { return ring_ != nullptr; }

  // The window thread. The current record's content is filled in through Room/Filled (also
  // as the sink of inflate), read through Current, and then either queued or dropped.
  char* Room(size_t& size) override;  // waits for the writer while the ring is full
  void Filled(size_t n) override;
  BytePieces Current() const;
  size_t CurrentSize() const { return currentSize_; }
  void DropCurrent();
  // Queues job, whose data are the current record's bytes from offset on. Only while a slot
  // is free: finished jobs hold theirs until they are released.
  bool SlotFree() const;
  void Submit(WriteJob job, size_t offset);
  // The next finished job, in the order queued, or null; Release gives its slot back.
  const WriteJob* NextDone();
  void Release();
  bool Idle() const;  // every queued job is finished
  // Waits (serving window messages) until half of the pending jobs are finished, or all.
  void Wait(bool all);
  // Ends the writer thread once the queue is idle.
  void Finish();

  // The writer thread's loop, and (for a test's writer that runs only when asked) the jobs
  // queued so far run at once.
  void WriterLoop();
  void RunPending();

 private:
  static const uint32_t kSlots = 64;
  void Step(WriteJob& job);
  void RunJob(WriteJob& job);
  WriteJob& Slot(uint32_t n) { return slots_[n % kSlots]; }

  ExtractHost& host_;
  std::unique_ptr<WriterThread> thread_;
  bool threaded_ = false;  // set once: the writes run on the thread
  bool finished_ = false;
  std::unique_ptr<char[]> ringMemory_;
  char* ring_ = nullptr;
  uint32_t ringSize_ = 0;
  // Counters that only grow (and wrap at 2^32): the ring's bytes handed out (head_) and given
  // back (tail_), the jobs queued, finished and released.
  uint32_t head_ = 0;
  uint32_t currentStart_ = 0;
  size_t currentSize_ = 0;
  std::vector<std::unique_ptr<char[]>> currentOverflow_;
  std::vector<BytePiece> overflowPieces_;
  std::atomic<uint32_t> tail_{0};
  std::atomic<uint32_t> submitted_{0};
  std::atomic<uint32_t> done_{0};
  uint32_t released_ = 0;
  uint32_t taken_ = 0;  // the writer's next job
  std::atomic<bool> quit_{false};
  std::atomic<uint32_t> wakeAt_{0};  // the finished count the waiting caller wants
  std::atomic<bool> callerWaiting_{false};
  std::atomic<bool> writerWaiting_{false};
  bool failed_ = false;  // the writer's: a job failed, the rest are skipped
  WriteJob slots_[kSlots];
};

}  // namespace stub
