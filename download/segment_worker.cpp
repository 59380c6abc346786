#include "download/segment_worker.h"

#include <algorithm>
#include <deque>
#include <memory>
#include <vector>

#include "download/block_fetch.h"
#include "download/opening_blocks.h"
#include "download/range_files.h"
#include "platform/event_pump.h"
#include "platform/file_system.h"
#include "platform/heap.h"
#include "storage/file_system_utils.h"
#include "text/number_text.h"

namespace tovak::download {
namespace {

// Where blocks are asked for ahead, the requests that the download keeps in flight: two exchanges
// on each of the 16 connections and sixteen more waiting, so that a connection that frees takes
// the next block of the range that has fallen furthest behind. Each worker asks for its share,
// which grows as ranges finish, but at least this block and two behind it, and it never holds
// more than a few bodies in memory.
constexpr int kRequestsInFlight = 48;
constexpr int kFewestBlocksInFlight = 3;
constexpr int kMostBlocksInFlight = 6;

size_t BlocksInFlight(const DownloadState& s) {
  const int fetching = std::max(1, s.rangesFetching.load());
  return static_cast<size_t>(std::clamp(kRequestsInFlight / fetching, kFewestBlocksInFlight,
                                        kMostBlocksInFlight));
}

// Counts the worker among those asking for blocks while it lives.
class FetchingRange {
 public:
  explicit FetchingRange(DownloadState& s) : s_(s) { ++s_.rangesFetching; }
  ~FetchingRange() { --s_.rangesFetching; }
  FetchingRange(const FetchingRange&) = delete;
  FetchingRange& operator=(const FetchingRange&) = delete;

 private:
  DownloadState& s_;
};

// The blocks asked for ahead, oldest first. Each request keeps its place in memory while it is
// answered; finished ones are kept for the next blocks, so each body buffer is allocated once.
class BlocksAhead {
 public:
  BlocksAhead(int32_t blockSize, BlockRequests asked) : blockSize_(blockSize), inFlight_(std::move(asked)) {}
  bool Empty() const { return inFlight_.empty(); }
  size_t Size() const { return inFlight_.size(); }
  BlockRequest& Oldest() { return *inFlight_.front(); }
  const BlockRequest& Newest() const { return *inFlight_.back(); }
  void Ask(DownloadState& s, const BlockSpan& block) {
    if (spare_.empty()) spare_.push_back(std::make_unique<BlockRequest>(blockSize_));
    inFlight_.push_back(std::move(spare_.back()));
    spare_.pop_back();
    inFlight_.back()->Start(s, block);
  }
  void DropOldest() {
    inFlight_.front()->Discard();
    // The blocks asked for with the probe may outnumber what is kept in flight later.
    if (spare_.size() < static_cast<size_t>(kMostBlocksInFlight)) spare_.push_back(std::move(inFlight_.front()));
    inFlight_.pop_front();
  }
  void DropAll() {
    while (!inFlight_.empty()) DropOldest();
  }

 private:
  int32_t blockSize_;
  BlockRequests inFlight_;
  std::vector<std::unique_ptr<BlockRequest>> spare_;
};

Text Megabytes(int64_t bytes) { return text::NumberText(text::RoundTo(static_cast<double>(bytes) / kBytesPerMegabyte, 2)); }

// Counts `bytes` as downloaded (negative: taken back) and shows the progress.
void ReportProgress(DownloadContext& c, int64_t bytes) {
  DownloadState& s = c.state;
  LockGuard guard(s.progressLock);
  s.downloaded += bytes;
  if (bytes <= 0) return;
  double percent = s.totalSize > 0 ? static_cast<double>(s.downloaded) / static_cast<double>(s.totalSize) * 100.0 : 0.0;
  c.window.SetProgressPosition(static_cast<int>(text::RoundTo(percent, 0)));
  c.window.SetStatusText(ProgressText(s.downloaded, s.totalSize, c.window.ProgressPosition()));
}

// Where a range has got: the next block to fetch and the last chunk written.
struct RangePosition {
  int64_t blockStart = 0, blockEnd = 0;
  int32_t seq = 0;
};

// Fetches the blocks from `at` to `lastByte`, writing a chunk whenever the buffer passes the
// threshold; false when a block was refused, `at` then naming it. `asked` are the first blocks
// from `at` on, asked for already.
bool FetchBlocks(DownloadContext& c, int32_t n, const SegmentTask& task, int64_t lastByte, RangePosition& at,
                 Bytes& buffer, BlockRequests asked) {
  DownloadState& s = c.state;
  auto blockAt = [&](int64_t start, int64_t end) {
    return BlockSpan{start, end, std::min(end, lastByte) - start + 1, task.start};
  };
  // Blocks span blockSize + 1 bytes, the range's last one cut off at its end.
  auto blockAfter = [&](const BlockSpan& block) {
    const int64_t start = block.end + 1;
    return blockAt(start, std::min<int64_t>(start + s.blockSize, task.end));
  };
  FetchingRange fetching(s);
  BlocksAhead ahead(s.blockSize, std::move(asked));
  while (at.blockStart <= lastByte) {
    const BlockSpan block = blockAt(at.blockStart, at.blockEnd);
    bool accepted;
    if (!s.overlapBlocks && ahead.Empty()) {
      accepted = FetchBlock(s, block, buffer);
    } else {
      // This block and the ones behind it, each asked for once.
      if (s.overlapBlocks) {
        if (ahead.Empty()) ahead.Ask(s, block);
        while (ahead.Size() < BlocksInFlight(s) && ahead.Newest().Block().end < lastByte)
          ahead.Ask(s, blockAfter(ahead.Newest().Block()));
      }
      accepted = ahead.Oldest().Finish(s);
      if (accepted) {
        buffer.append(ahead.Oldest().Body());
        ahead.DropOldest();
      } else {
        ahead.DropAll();  // asked for again once this block is in
        accepted = FetchBlockAgainFromTheLink(s, block, buffer);
      }
    }
    if (!accepted) return false;
    if (static_cast<int64_t>(buffer.size()) > kChunkThreshold) {
      platform::WriteWholeFile(ChunkPath(s.tempRoot, n, ++at.seq), buffer);
      buffer.clear();
    }
    ReportProgress(c, block.available);
    const BlockSpan next = blockAfter(block);
    at.blockStart = next.start;
    at.blockEnd = next.end;
    platform::ProcessPendingEvents();
  }
  return true;
}

void JoinChunks(DownloadContext& c, int32_t n, int32_t seq) {
  const Text& root = c.state.tempRoot;
  const Text segmentFile = SegmentFilePath(root, n);
  // The first chunk becomes the segment file, which saves copying most of the range just before
  // the final join waits for it; the others are appended.
  int32_t k = 1;
  uint32_t target = 0;
  if (seq >= 1 && platform::RenameFile(ChunkPath(root, n, 1), segmentFile)) {
    target = c.files.Open(segmentFile, storage::kReadWrite);
    c.files.MoveToEnd(target);
    k = 2;
  } else {
    target = c.files.Open(segmentFile, storage::kCreateAlways);
  }
  for (; k <= seq; ++k) {
    Text chunk = ChunkPath(root, n, k);
    if (storage::FileExists(chunk)) c.files.AppendFile(target, chunk);
    platform::ProcessPendingEvents();
  }
  c.files.Close(target);
  storage::DeleteDirectoryTree(SegmentDirectory(root, n));
}

}  // namespace

Text ProgressText(int64_t downloaded, int64_t totalSize, int progressPosition) {
  return "- 正在下载:" + Megabytes(downloaded) + "MB/" + Megabytes(totalSize) + "MB  进度:" +
         text::IntegerText(progressPosition) + "%";
}

void SegmentWorker(DownloadContext& c, int32_t n, int32_t resume) {
  DownloadState& s = c.state;
  // Only an entry that the run never planned is empty; [0, 0] is the real first byte.
  if (n < 1 || n > s.plannedCount.load()) {
    c.desktop.ShowMessage("线程-" + text::IntegerText(n) + "任务数据为空！", platform::kDefaultCaption,
                          platform::MessageButtons::Ok, platform::MessageIcon::None);
    return;
  }
  const SegmentTask task = s.segments[static_cast<size_t>(n - 1)];
  const Text directory = SegmentDirectory(s.tempRoot, n);
  if (!storage::DirectoryExists(directory)) storage::CreateDirectoryTree(directory);

  RangePosition at;
  if (resume == 1) {
    const Text ledgerPath = LedgerPath(s.tempRoot, n);
    ResumeLedger ledger = ReadLedger(ledgerPath);
    storage::RemoveFile(ledgerPath);
    at = {ledger.start, ledger.end, ledger.seq};
  } else {
    at = {task.start, task.start + s.blockSize, 0};
  }
  if (at.blockEnd >= task.end) at.blockEnd = task.end;

  // The last byte of this range that exists in the file: a last range names one byte past it.
  const int64_t lastByte = std::min(task.end, s.totalSize - 1);
  Bytes buffer;
  // One allocation per task: the buffer never holds more than a chunk and one block, and every
  // body is received straight into it.
  buffer.reserve(static_cast<size_t>(kChunkThreshold + s.blockSize + 1));
  platform::PreferLargePages(buffer.data(), buffer.capacity());
  BlockRequests asked;
  if (n == 1 && resume != 1 && c.openingBlocks) asked = c.openingBlocks->Take();
  if (!FetchBlocks(c, n, task, lastByte, at, buffer, std::move(asked))) {
    const auto kept = static_cast<int64_t>(buffer.size());
    ReportProgress(c, -kept);  // those bytes will be fetched again
    WriteLedger(LedgerPath(s.tempRoot, n), {at.blockStart - kept, at.blockEnd - kept, at.seq});
    s.failed.store(1);
    return;
  }
  if (!buffer.empty()) platform::WriteWholeFile(ChunkPath(s.tempRoot, n, ++at.seq), buffer);
  Bytes().swap(buffer);  // the join needs memory of its own; sixteen joins may run at once
  JoinChunks(c, n, at.seq);
}

}  // namespace tovak::download
