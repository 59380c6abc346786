#pragma once
// The shared record of the download run: the driver on the window's thread, the segment workers
// on the pool's threads and the failure prompt all work on it.
#include <atomic>
#include <cstdint>
#include <map>
#include <vector>

#include "concurrency/lock.h"
#include "concurrency/task_pool.h"
#include "download/file_identity.h"
#include "download/range_files.h"
#include "text/text.h"

namespace tovak::download {

constexpr int32_t kThreadCount = 16;
// A block request spans kBlockSize + 1 bytes.
constexpr int32_t kBlockSize = 1048576;
constexpr double kBytesPerMegabyte = 1048576.0;
inline const char* const kTempRoot = "D:\\01-Download\\diRediruzu\\";

// One contiguous byte range, inclusive offsets. The last range of a file of 256 bytes or more
// ends at the file size, one past its last byte.
struct SegmentTask {
  int64_t start = 0;
  int64_t end = 0;
};

struct DownloadState {
  Text link;
  Text savePath;
  int32_t threadCount = 0;
  int32_t blockSize = 0;
  // Addressed by the 1-based segment number; entry n is written before task n is submitted.
  std::vector<SegmentTask> segments;
  // How many ranges the current run planned; entries beyond it were never planned.
  std::atomic<int32_t> plannedCount{0};
  TaskPool pool;
  Lock progressLock{4000};
  Text tempRoot;
  int64_t totalSize = 0;
  // Workers only store 1; the window's thread reads and clears it while the pool is idle.
  std::atomic<int32_t> failed{0};
  int64_t downloaded = 0;  // under progressLock
  // The file the probe saw; a block from another one sets `fileChanged` (workers store 1 only).
  FileIdentity identity;
  std::atomic<int32_t> fileChanged{0};
  // A chunk or segment file could not be written (a full disk): workers store 1, the retry
  // prompt tells the user and clears it.
  std::atomic<int32_t> writeFailed{0};
  // Whether a worker asks for its next blocks while the current one's body arrives, so that a
  // connection never waits a round trip between blocks. The probe decides: by default only for a
  // far server whose answer came over a multiplexed connection (HTTP/2), where the next request
  // shares the connection; a near server gains nothing, and the second block costs memory.
  // Always: over HTTP/1.1 too, on a second connection (tests run the overlapped worker so).
  enum class BlockOverlap { ForFarMultiplexedServers, Always };
  BlockOverlap blockOverlap = BlockOverlap::ForFarMultiplexedServers;
  bool overlapBlocks = false;
  // Whether the first blocks of the first range are asked for while a far server (one that has
  // not answered the probe within a few milliseconds) is still answering the size probe, one on
  // each connection the probe does not use. AfterTheProbe: for a test that counts a local
  // server's requests, whose answer a loaded machine might delay past that; WithTheProbe: with
  // the probe of any server (tests run a near one so).
  enum class FirstBlocks { WithTheProbeOfAFarServer, AfterTheProbe, WithTheProbe };
  FirstBlocks firstBlocks = FirstBlocks::WithTheProbeOfAFarServer;
  // The time-outs of the run's requests, in seconds; the receive time-out is how long an exchange
  // may stall. 0: the request's default, 15 s (tests of a stall wait less).
  int32_t requestTimeoutSeconds = 0;
  // Workers still asking for blocks: the fewer there are, the more blocks each asks for ahead, so
  // that the last ranges keep every connection busy.
  std::atomic<int32_t> rangesFetching{0};

  // What the run has still to fetch: it tells the connections near the end apart. Unknown (-1)
  // until the run has planned its ranges.
  int64_t StillWanted() {
    if (plannedCount.load() == 0) return -1;
    LockGuard guard(progressLock);
    return totalSize - downloaded;
  }

  // Where `link` led when it was last followed (the probe, or a block asked of `link` again),
  // `link` itself before it has been: block requests go there, so a redirecting link costs one
  // redirect per download, not one per block.
  Text BlockUrl() const {
    LockGuard guard(lock_);
    return blockUrl_.empty() ? link : blockUrl_;
  }
  void SetBlockUrl(const Text& url) {
    LockGuard guard(lock_);
    blockUrl_ = url;
  }

  // A failed range's ledger whose file could not be written (the disk that refused its chunk
  // refuses the ledger too): kept here so that a retry still resumes the range.
  void KeepUnsavedLedger(int32_t segmentNumber, const ResumeLedger& ledger) {
    LockGuard guard(lock_);
    unsavedLedgers_[segmentNumber] = ledger;
  }
  bool HasUnsavedLedger(int32_t segmentNumber) const {
    LockGuard guard(lock_);
    return unsavedLedgers_.count(segmentNumber) > 0;
  }
  // Hands the ledger over; false when there is none.
  bool TakeUnsavedLedger(int32_t segmentNumber, ResumeLedger& ledger) {
    LockGuard guard(lock_);
    auto found = unsavedLedgers_.find(segmentNumber);
    if (found == unsavedLedgers_.end()) return false;
    ledger = found->second;
    unsavedLedgers_.erase(found);
    return true;
  }
  void ForgetUnsavedLedgers() {
    LockGuard guard(lock_);
    unsavedLedgers_.clear();
  }

 private:
  mutable Lock lock_{4000};  // the block address and the unsaved ledgers
  Text blockUrl_;
  std::map<int32_t, ResumeLedger> unsavedLedgers_;
};

}  // namespace tovak::download
