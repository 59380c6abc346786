#include "download/segment_worker.h"

#include <algorithm>
#include <vector>

#include "download/block_fetch.h"
#include "download/range_files.h"
#include "platform/event_pump.h"
#include "platform/file_system.h"
#include "platform/heap.h"
#include "storage/file_system_utils.h"
#include "text/number_text.h"

namespace tovak::download {
namespace {

// Where blocks are asked for ahead: this one and two behind it. With two exchanges on each of the
// 16 connections, the third waits for whichever connection frees first, so the ranges take turns
// on the slow and the fast connections.
constexpr int kBlocksInFlight = 3;

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

void JoinChunks(DownloadContext& c, int32_t n, int32_t seq) {
  const Text& root = c.state.tempRoot;
  uint32_t target = c.files.Open(SegmentFilePath(root, n), storage::kCreateAlways);
  for (int32_t k = 1; k <= seq; ++k) {
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

  int64_t blockStart, blockEnd;
  int32_t seq;
  if (resume == 1) {
    const Text ledgerPath = LedgerPath(s.tempRoot, n);
    ResumeLedger ledger = ReadLedger(ledgerPath);
    storage::RemoveFile(ledgerPath);
    blockStart = ledger.start;
    blockEnd = ledger.end;
    seq = ledger.seq;
  } else {
    blockStart = task.start;
    blockEnd = task.start + s.blockSize;
    seq = 0;
  }
  if (blockEnd >= task.end) blockEnd = task.end;

  // The last byte of this range that exists in the file: a last range names one byte past it.
  const int64_t lastByte = std::min(task.end, s.totalSize - 1);
  Bytes buffer;
  // One allocation per task: the buffer never holds more than a chunk and one block, and every
  // body is received straight into it.
  buffer.reserve(static_cast<size_t>(kChunkThreshold + s.blockSize + 1));
  platform::PreferLargePages(buffer.data(), buffer.capacity());
  // Blocks asked for ahead, each body landing in a block buffer of its own (overlapped only).
  std::vector<BlockRequest> ahead;
  if (s.overlapBlocks) {
    ahead.reserve(kBlocksInFlight);
    for (int i = 0; i < kBlocksInFlight; ++i) ahead.emplace_back(s.blockSize);
  }
  size_t current = 0;
  while (blockStart <= lastByte) {
    const BlockSpan block{blockStart, blockEnd, std::min(blockEnd, lastByte) - blockStart + 1};
    bool accepted;
    if (ahead.empty()) {
      accepted = FetchBlock(s, block, buffer);
    } else {
      // This block and the ones behind it, each asked for once.
      BlockSpan span = block;
      for (size_t k = 0; k < ahead.size() && span.start <= lastByte; ++k) {
        BlockRequest& request = ahead[(current + k) % ahead.size()];
        if (!request.Started()) request.Start(s, span);
        const int64_t next = span.end + 1, nextEnd = std::min<int64_t>(next + s.blockSize, task.end);
        span = {next, nextEnd, std::min(nextEnd, lastByte) - next + 1};
      }
      BlockRequest& now = ahead[current];
      accepted = now.Finish(s);
      if (accepted) {
        buffer.append(now.Body());
      } else {
        for (BlockRequest& behind : ahead) behind.Discard();  // asked for again once this block is in
        accepted = FetchBlockAgainFromTheLink(s, block, buffer);
      }
      current = (current + 1) % ahead.size();
    }
    if (!accepted) {
      const auto kept = static_cast<int64_t>(buffer.size());
      ReportProgress(c, -kept);  // those bytes will be fetched again
      WriteLedger(LedgerPath(s.tempRoot, n), {blockStart - kept, blockEnd - kept, seq});
      s.failed.store(1);
      return;
    }
    if (static_cast<int64_t>(buffer.size()) > kChunkThreshold) {
      platform::WriteWholeFile(ChunkPath(s.tempRoot, n, ++seq), buffer);
      buffer.clear();
    }
    ReportProgress(c, block.available);
    blockStart = blockEnd + 1;
    blockEnd = std::min<int64_t>(blockStart + s.blockSize, task.end);
    platform::ProcessPendingEvents();
  }
  if (!buffer.empty()) platform::WriteWholeFile(ChunkPath(s.tempRoot, n, ++seq), buffer);
  Bytes().swap(buffer);  // the join needs memory of its own; sixteen joins may run at once
  JoinChunks(c, n, seq);
}

}  // namespace tovak::download
