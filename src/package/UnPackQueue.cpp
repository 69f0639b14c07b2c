#include "package/UnPackQueue.h"

#include <cstring>
#include <map>
#include <new>

#include "package/UnPackCore.h"
#include "support/Text.h"

namespace stub {

// The files this process wrote, by name as Windows compares names. Only the side that carries
// out the jobs touches it while an extraction runs.
static std::map<std::string, FileStamp> g_written;

static std::string StampKey(const std::string& path) { return UpperCase(ReplaceChar(path, '/', '\\')); }

const FileStamp* WrittenFileStamp(const std::string& path) {
  auto it = g_written.find(StampKey(path));
  return it == g_written.end() || it->second.id == 0 ? nullptr : &it->second;
}

void ForgetWrittenFilesForTesting() { g_written.clear(); }

// Blocks for the bytes of a record larger than the ring.
static const size_t kOverflowBlock = size_t(1) << 20;

static uint32_t RingSizeFor(size_t wanted) {
  // A power of two, so positions stay right when the counters wrap.
  uint32_t size = 1;
  while (size < wanted && size < (1u << 30)) size <<= 1;
  return size;
}

WriteQueue::WriteQueue(ExtractHost& host, size_t ringBytes) : host_(host) {
  if (ringBytes) {
    const uint32_t size = RingSizeFor(ringBytes);
    ringMemory_.reset(new (std::nothrow) char[size]);
    if (ringMemory_) {
      ring_ = ringMemory_.get();
      ringSize_ = size;
    }
  }
  thread_ = host_.NewWriterThread();
  threaded_ = thread_ && thread_->Start([](void* self) { static_cast<WriteQueue*>(self)->WriterLoop(); }, this);
}

WriteQueue::~WriteQueue() { Finish(); }

char* WriteQueue::Room(size_t& size) {
  if (currentOverflow_.empty()) {
    for (;;) {
      const uint32_t used = head_ - tail_.load();
      if (used < ringSize_) {
        const uint32_t at = head_ & (ringSize_ - 1);
        const uint32_t free = ringSize_ - used, contiguous = ringSize_ - at;
        size = free < contiguous ? free : contiguous;
        return ring_ + at;
      }
      // The ring is full. Of other records' data the writer frees some; when the current
      // record fills it alone, the rest of it goes to the heap.
      if (tail_.load() == currentStart_) break;
      Wait(false);
    }
  } else if (overflowPieces_.back().size < kOverflowBlock) {
    BytePiece& last = overflowPieces_.back();
    size = kOverflowBlock - last.size;
    return currentOverflow_.back().get() + last.size;
  }
  std::unique_ptr<char[]> block(new (std::nothrow) char[kOverflowBlock]);
  if (!block) return nullptr;
  overflowPieces_.push_back(BytePiece{block.get(), 0});
  currentOverflow_.push_back(std::move(block));
  size = kOverflowBlock;
  return currentOverflow_.back().get();
}

void WriteQueue::Filled(size_t n) {
  if (currentOverflow_.empty()) head_ += static_cast<uint32_t>(n);
  else overflowPieces_.back().size += n;
  currentSize_ += n;
}

BytePieces WriteQueue::Current() const {
  BytePieces pieces;
  const uint32_t length = head_ - currentStart_;
  if (length) {
    const uint32_t at = currentStart_ & (ringSize_ - 1);
    const uint32_t first = length < ringSize_ - at ? length : ringSize_ - at;
    pieces.push_back(BytePiece{ring_ + at, first});
    if (first < length) pieces.push_back(BytePiece{ring_, length - first});
  }
  for (const BytePiece& piece : overflowPieces_)
    if (piece.size) pieces.push_back(piece);
  return pieces;
}

void WriteQueue::DropCurrent() {
  head_ = currentStart_;
  currentSize_ = 0;
  currentOverflow_.clear();
  overflowPieces_.clear();
}

void WriteQueue::Submit(WriteJob job, size_t offset) {
  for (const BytePiece& piece : Current()) {
    const size_t skip = offset < piece.size ? offset : piece.size;
    offset -= skip;
    if (piece.size > skip) job.data.push_back(BytePiece{piece.data + skip, piece.size - skip});
  }
  job.dataSize = 0;
  for (const BytePiece& piece : job.data) job.dataSize += piece.size;
  job.ringBytes = head_ - currentStart_;
  job.overflow = std::move(currentOverflow_);
  currentOverflow_.clear();
  overflowPieces_.clear();
  currentStart_ = head_;
  currentSize_ = 0;
  // The caller has made sure a slot is free (NextDone/Release).
  WriteJob& slot = Slot(submitted_.load());
  slot = std::move(job);
  if (!threaded_) {
    submitted_.store(submitted_.load() + 1);
    Step(slot);
    ++taken_;
    return;
  }
  submitted_.store(submitted_.load() + 1);
  if (writerWaiting_.exchange(false)) thread_->WakeWriter();
}

bool WriteQueue::SlotFree() const { return submitted_.load() - released_ < kSlots; }

const WriteJob* WriteQueue::NextDone() {
  if (released_ == done_.load()) return nullptr;
  return &slots_[released_ % kSlots];
}

void WriteQueue::Release() {
  slots_[released_ % kSlots] = WriteJob();
  ++released_;
}

bool WriteQueue::Idle() const { return done_.load() == submitted_.load(); }

void WriteQueue::Wait(bool all) {
  if (!threaded_) return;
  const uint32_t submitted = submitted_.load(), done = done_.load();
  if (submitted == done) return;
  // Woken when half of what is pending is done, or all of it: one wake-up for many small files.
  const uint32_t pending = submitted - done;
  wakeAt_.store(all ? submitted : done + (pending + 1) / 2);
  callerWaiting_.store(true);
  if (static_cast<int32_t>(done_.load() - wakeAt_.load()) < 0) thread_->WaitForWriter();
  callerWaiting_.store(false);
}

void WriteQueue::Finish() {
  if (!threaded_ || finished_) return;
  finished_ = true;
  quit_.store(true);
  thread_->WakeWriter();
  thread_->Join();
}

void WriteQueue::WriterLoop() {
  for (;;) {
    if (taken_ != submitted_.load()) {
      Step(Slot(taken_));
      ++taken_;
      continue;
    }
    if (quit_.load()) return;
    writerWaiting_.store(true);
    if (taken_ == submitted_.load() && !quit_.load()) thread_->WaitForWork();
    writerWaiting_.store(false);
  }
}

void WriteQueue::RunPending() {
  while (taken_ != submitted_.load()) {
    Step(Slot(taken_));
    ++taken_;
  }
}

void WriteQueue::Step(WriteJob& job) {
  if (failed_) {
    job.skipped = true;
  } else {
    RunJob(job);
    if (!job.ok) failed_ = true;
  }
  job.overflow.clear();
  tail_.store(tail_.load() + job.ringBytes);
  done_.store(done_.load() + 1);
  if (threaded_ && callerWaiting_.load() && static_cast<int32_t>(done_.load() - wakeAt_.load()) >= 0 &&
      callerWaiting_.exchange(false))
    thread_->WakeCaller();
}

void WriteQueue::RunJob(WriteJob& job) {
  FileStamp& stamp = g_written[StampKey(job.path)];
  if (!job.folder.empty()) host_.CreateFolder(job.folder);
  job.existed = false;
  job.ok = host_.WriteRecordData(job.path, job.data, job.dosDateTime, stamp, job.existed);
  if (!job.ok) {
    job.error = host_.LastErrorCode();
    stamp = FileStamp();
  }
}

}  // namespace stub
