#include "download/download_run.h"

#include <chrono>

#include "download/range_files.h"
#include "download/segment_wait.h"
#include "download/segment_worker.h"
#include "http/header_text.h"
#include "http/http_request.h"
#include "platform/event_pump.h"
#include "platform/file_system.h"
#include "storage/file_system_utils.h"
#include "text/number_text.h"
#include "text/text_ops.h"

namespace tovak::download {
namespace {

using platform::MessageButtons;
using platform::MessageIcon;

const char* const kUnknownSize = "无法得到下载文件大小\r\n请自行打开直链网址或使用备用链接下载";
const char* const kMissingSegment = "缺少临时文件，无法整合文件。";
const char* const kSizeMismatch = "整合后的文件大小与服务器给出的不符，下载失败。";
const char* const kFailedLabel = "下载失败";
// The probe asks for one byte; a server that ignores the range and sends the whole archive is cut
// off here rather than held in memory.
constexpr int64_t kProbeBodyLimit = 16;
// A probe that takes this long (connection, handshake and answer) comes from a server far enough
// for round trips to matter: between blocks, and in opening the other connections after the
// probe; on a near one it takes a few milliseconds.
constexpr std::chrono::milliseconds kFarServerProbe{25};

}  // namespace

DownloadEngine::DownloadEngine(DownloadContext context)
    : context_(context),
      segmentWorker_([this](int32_t segmentNumber, int32_t resume) { SegmentWorker(context_, segmentNumber, resume); }) {
  context_.openingBlocks = &openingBlocks_;
}

bool DownloadEngine::ProbeSize(int64_t& totalSize) {
  DownloadState& s = context_.state;
  Text headers, ledTo;
  Bytes body;
  bool multiplexed = false;
  const http::HttpRequestParams probe{.url = s.link,
                                      .headers = "Range : bytes=0-0",
                                      .responseHeaders = &headers,
                                      .appendBodyTo = &body,
                                      .bodyLimit = kProbeBodyLimit,
                                      .responseUrl = &ledTo,
                                      .multiplexed = &multiplexed};
  const auto sent = std::chrono::steady_clock::now();
  s.SetBlockUrl("");  // blocks asked for with the probe go to this link, not the last one's address
  if (std::unique_ptr<http::PendingHttpRequest> pending = http::BeginHttpRequest(probe)) {
    using FirstBlocks = DownloadState::FirstBlocks;
    if (s.firstBlocks == FirstBlocks::WithTheProbe ||
        (s.firstBlocks == FirstBlocks::WithTheProbeOfAFarServer &&
         !pending->AnsweredWithin(static_cast<int32_t>(kFarServerProbe.count()))))
      openingBlocks_.Ask(s, s.threadCount - 1);  // the probe's connection is the sixteenth
    pending->Finish();
  }
  s.SetBlockUrl(ledTo);  // empty after a failed probe: blocks then go to the link itself
  s.overlapBlocks = s.blockOverlap == DownloadState::BlockOverlap::Always ||
                    (multiplexed && std::chrono::steady_clock::now() - sent >= kFarServerProbe);
  Text value = http::FindHeaderValue(headers, "Content-Range");
  int64_t slash = text::FindLast(value, "/");
  Text sizeText = text::Right(value, static_cast<int64_t>(value.size()) - slash);
  // An unknown or non-positive size ("*" for one) is no size to plan ranges for.
  totalSize = sizeText.empty() ? 0 : text::TextToInt64(sizeText);
  if (totalSize > 0) return true;
  openingBlocks_.DropAll();
  context_.desktop.ShowMessage(kUnknownSize, "错误", MessageButtons::Ok, MessageIcon::Error);
  return false;
}

void DownloadEngine::PlanAndSubmit() {
  DownloadState& s = context_.state;
  const auto segmentLength = static_cast<int64_t>(static_cast<double>(s.totalSize) / s.threadCount);
  int64_t start = 0, end = segmentLength;
  int32_t n = 0;
  while (start < s.totalSize && n < s.threadCount) {
    ++n;
    s.segments[static_cast<size_t>(n - 1)] = {start, end};
    s.plannedCount.store(n);
    if (n == 1) openingBlocks_.KeepWithin(std::min(end, s.totalSize - 1));
    s.pool.Submit(&segmentWorker_, n);
    start = end + 1;
    end = std::min(start + segmentLength, s.totalSize);
    platform::ProcessPendingEvents();
  }
}

bool DownloadEngine::JoinSegments() {
  DownloadState& s = context_.state;
  const int32_t planned = s.plannedCount.load();
  // Every planned segment must be there before the target is touched.
  for (int32_t n = 1; n <= planned; ++n) {
    if (!storage::FileExists(SegmentFilePath(s.tempRoot, n))) {
      context_.desktop.ShowMessage(kMissingSegment, platform::kDefaultCaption, MessageButtons::Ok, MessageIcon::None);
      return false;
    }
  }
  uint32_t target = context_.files.Open(s.savePath, storage::kCreateAlways);
  for (int32_t n = 1; n <= planned; ++n) {
    const Text segmentFile = SegmentFilePath(s.tempRoot, n);
    context_.files.AppendFile(target, segmentFile);
    storage::RemoveFile(segmentFile);
    platform::ProcessPendingEvents();
  }
  context_.files.Close(target);
  if (target == 0 || platform::FileLength(s.savePath) != s.totalSize) {
    // A partial target could later be taken for the finished archive.
    if (target != 0) storage::RemoveFile(s.savePath);
    context_.desktop.ShowMessage(kSizeMismatch, "错误", MessageButtons::Ok, MessageIcon::Error);
    return false;
  }
  return true;
}

void DownloadEngine::RunDownload() {
  DownloadState& s = context_.state;
  DownloadControls& window = context_.window;
  s.threadCount = kThreadCount;
  s.blockSize = kBlockSize;
  s.segments.assign(static_cast<size_t>(s.threadCount), SegmentTask{});
  s.plannedCount.store(0);
  s.pool.Create(s.threadCount);
  s.tempRoot = kTempRoot;
  if (!storage::DirectoryExists(s.tempRoot)) storage::CreateDirectoryTree(s.tempRoot);

  int64_t totalSize = 0;
  if (!ProbeSize(totalSize)) return;
  s.totalSize = totalSize;
  s.failed.store(0);
  {
    LockGuard guard(s.progressLock);
    s.downloaded = 0;
  }
  window.SetProgressPosition(0);
  window.SetStatusText(ProgressText(0, s.totalSize, window.ProgressPosition()));
  PlanAndSubmit();

  WaitForSegments(context_, &segmentWorker_);
  if (s.failed.load() == 1) {
    window.SetStatusText(kFailedLabel);
    return;
  }

  window.SetStatusText("下载完毕，开始整合文件");
  bool joined = JoinSegments();
  storage::DeleteDirectoryTree(s.tempRoot);
  {
    LockGuard guard(s.progressLock);
    s.downloaded = 0;
  }
  if (!joined) {
    window.SetStatusText(kFailedLabel);
    return;
  }
  window.SetStatusText("下载完成！");
  context_.desktop.OpenWithShell(window.SavePathText());
}

}  // namespace tovak::download
