#include "download/segment_worker.h"

#include <algorithm>

#include "download/range_files.h"
#include "http/content_range.h"
#include "http/header_text.h"
#include "http/http_request.h"
#include "platform/event_pump.h"
#include "platform/file_system.h"
#include "platform/heap.h"
#include "storage/file_system_utils.h"
#include "text/number_text.h"

namespace tovak::download {
namespace {

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

// Only the requested bytes of the probed file may reach a chunk: the answer must be partial
// content that names exactly those bytes and carries exactly as many. A cache that answers with
// other bytes of the same length, or a server whose file has changed, is refused.
bool IsExactAnswer(int32_t status, const Text& headers, int64_t first, int64_t last, int64_t totalSize,
                   int64_t received) {
  if (status != 206) return false;
  auto range = http::ParseContentRange(http::FindHeaderValue(headers, "Content-Range"));
  return range && range->first == first && range->last == last &&
         (range->total == http::ContentRange::kUnknownTotal || range->total == totalSize) &&
         received == last - first + 1;
}

// Asks `url` for the block and appends its body to `buffer`; true when the answer is exact. A
// refused block leaves `buffer` as it was.
bool FetchBlock(const Text& url, const DownloadState& s, int64_t blockStart, int64_t blockEnd, int64_t available,
                Bytes& buffer, Text* ledTo = nullptr) {
  const size_t buffered = buffer.size();
  Text headers;
  int32_t status = 0;
  http::HttpRequest({.url = url,
                     .headers = "Range : bytes=" + text::IntegerText(blockStart) + "-" + text::IntegerText(blockEnd),
                     .responseHeaders = &headers,
                     .status = &status,
                     .appendBodyTo = &buffer,
                     .bodyLimit = available,
                     .responseUrl = ledTo});
  const auto received = static_cast<int64_t>(buffer.size() - buffered);
  if (IsExactAnswer(status, headers, blockStart, blockStart + available - 1, s.totalSize, received)) return true;
  buffer.resize(buffered);
  return false;
}

// The block from where the link led; when that address refuses it (a signed address that has
// expired, say), the block is asked of the link once more, which follows the redirect anew.
bool FetchBlockFollowingTheLink(DownloadState& s, int64_t blockStart, int64_t blockEnd, int64_t available,
                                Bytes& buffer) {
  const Text url = s.BlockUrl();
  const Text& link = s.link;
  if (FetchBlock(url.empty() ? link : url, s, blockStart, blockEnd, available, buffer)) return true;
  if (url.empty() || url == link) return false;
  Text ledTo;
  if (!FetchBlock(link, s, blockStart, blockEnd, available, buffer, &ledTo)) return false;
  if (!ledTo.empty()) s.SetBlockUrl(ledTo);
  return true;
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
  while (blockStart <= lastByte) {
    const int64_t available = std::min(blockEnd, lastByte) - blockStart + 1;
    if (!FetchBlockFollowingTheLink(s, blockStart, blockEnd, available, buffer)) {
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
    ReportProgress(c, available);
    blockStart = blockEnd + 1;
    blockEnd = std::min<int64_t>(blockStart + s.blockSize, task.end);
    platform::ProcessPendingEvents();
  }
  if (!buffer.empty()) platform::WriteWholeFile(ChunkPath(s.tempRoot, n, ++seq), buffer);
  Bytes().swap(buffer);  // the join needs memory of its own; sixteen joins may run at once
  JoinChunks(c, n, seq);
}

}  // namespace tovak::download
