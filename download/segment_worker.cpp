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

// The range from `firstByte` on, in blocks of the usual span.
RangePosition From(int64_t firstByte, int32_t blockSize, int32_t seq) {
  return {firstByte, firstByte + blockSize, seq};
}

// Writes `buffer` as the range's next chunk. A chunk that cannot be written whole (a full disk)
// leaves no file behind, and the range then stops: the bytes are fetched again on a retry.
bool WriteChunk(DownloadState& s, int32_t n, int32_t& seq, Bytes& buffer) {
  const Text chunk = ChunkPath(s.tempRoot, n, seq + 1);
  if (!platform::WriteWholeFile(chunk, buffer)) {
    storage::RemoveFile(chunk);
    s.writeFailed.store(1);
    return false;
  }
  ++seq;
  buffer.clear();
  return true;
}

// Fetches the blocks from `at` to `lastByte`, writing a chunk whenever the buffer passes the
// threshold; false when the range stopped short, `at` then naming the first byte it has not
// received (the buffer's bytes, in no chunk file, are to be fetched again too). `asked` are the
// first blocks from `at` on, asked for already.
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
    if (s.fileChanged.load()) return false;  // nothing more of this file is worth fetching
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
    ReportProgress(c, block.available);
    const BlockSpan next = blockAfter(block);
    at.blockStart = next.start;
    at.blockEnd = next.end;
    if (static_cast<int64_t>(buffer.size()) > kChunkThreshold && !WriteChunk(s, n, at.seq, buffer)) {
      at = From(block.start + block.available, s.blockSize, at.seq);
      return false;
    }
    platform::ProcessPendingEvents();
  }
  return true;
}

// Where a failed join leaves the range: chunks 1 ... `seq` as they were, the segment file gone.
// The first chunk had become the segment file, which is cut back to it and given its name again.
void UndoJoin(DownloadContext& c, int32_t n, uint32_t target, int64_t firstChunkLength) {
  const Text& root = c.state.tempRoot;
  const Text segmentFile = SegmentFilePath(root, n);
  const bool restored = firstChunkLength > 0 && (target == 0 || c.files.SetLength(target, firstChunkLength));
  if (target != 0) c.files.Close(target);
  if (!restored || !platform::RenameFile(segmentFile, ChunkPath(root, n, 1))) storage::RemoveFile(segmentFile);
}

// Joins chunks 1 ... `seq` into the segment file. When that fails, the chunks stay and `resume`
// says where the range continues: at the first missing chunk, or, when every chunk is there
// (a full disk), at the join itself.
bool JoinChunks(DownloadContext& c, int32_t n, const SegmentTask& task, int64_t lastByte, RangePosition& resume) {
  DownloadState& s = c.state;
  const Text& root = s.tempRoot;
  const Text segmentFile = SegmentFilePath(root, n);
  const int32_t seq = resume.seq;
  // The first chunk becomes the segment file, which saves copying most of the range just before
  // the final join waits for it; the others are appended.
  int32_t k = 1;
  uint32_t target = 0;
  int64_t firstChunkLength = 0, joined = 0;
  if (seq >= 1) firstChunkLength = platform::FileLength(ChunkPath(root, n, 1));
  if (firstChunkLength > 0 && platform::RenameFile(ChunkPath(root, n, 1), segmentFile)) {
    target = c.files.Open(segmentFile, storage::kReadWrite);
    c.files.MoveToEnd(target);
    joined = firstChunkLength;
    k = 2;
  } else {
    firstChunkLength = 0;
    target = c.files.Open(segmentFile, storage::kCreateAlways);
  }
  bool appended = target != 0;
  for (; appended && k <= seq; ++k) {
    const Text chunk = ChunkPath(root, n, k);
    const int64_t length = platform::FileLength(chunk);
    if (length <= 0) {  // lost: the range is fetched again from that chunk on
      UndoJoin(c, n, target, firstChunkLength);
      resume = From(task.start + joined, s.blockSize, k - 1);
      return false;
    }
    appended = c.files.AppendFile(target, chunk);
    joined += length;
    platform::ProcessPendingEvents();
  }
  if (!appended) {  // a full disk: every chunk stays, and the retry joins them
    s.writeFailed.store(1);
    UndoJoin(c, n, target, firstChunkLength);
    resume = From(lastByte + 1, s.blockSize, seq);
    return false;
  }
  c.files.Close(target);
  storage::DeleteDirectoryTree(SegmentDirectory(root, n));
  return true;
}

// The range ends short of its end: its ledger says where it continues, and the run is failed.
void StopRange(DownloadContext& c, int32_t n, const RangePosition& resume) {
  DownloadState& s = c.state;
  const ResumeLedger ledger{resume.blockStart, resume.blockEnd, resume.seq};
  // A disk too full for the ledger's file must not cost the retry.
  if (!WriteLedger(LedgerPath(s.tempRoot, n), ledger)) s.KeepUnsavedLedger(n, ledger);
  s.failed.store(1);
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
    ResumeLedger ledger;
    if (storage::FileExists(ledgerPath)) {
      ledger = ReadLedger(ledgerPath);
      storage::RemoveFile(ledgerPath);
    } else {
      s.TakeUnsavedLedger(n, ledger);
    }
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
  bool fetched = FetchBlocks(c, n, task, lastByte, at, buffer, std::move(asked));
  if (fetched && !buffer.empty() && !WriteChunk(s, n, at.seq, buffer)) {
    at = From(lastByte + 1, s.blockSize, at.seq);
    fetched = false;
  }
  if (!fetched) {
    const auto kept = static_cast<int64_t>(buffer.size());
    ReportProgress(c, -kept);  // those bytes will be fetched again
    StopRange(c, n, {at.blockStart - kept, at.blockEnd - kept, at.seq});
    return;
  }
  Bytes().swap(buffer);  // the join needs memory of its own; sixteen joins may run at once
  if (!JoinChunks(c, n, task, lastByte, at)) {
    ReportProgress(c, -(lastByte + 1 - at.blockStart));  // what the range fetches again
    StopRange(c, n, at);
  }
}

}  // namespace tovak::download
