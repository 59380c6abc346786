#include "download/download_run.h"

#include <chrono>
#include <future>
#include <thread>

#include "download/range_files.h"
#include "download/segment_wait.h"
#include "download/segment_worker.h"
#include "http/header_text.h"
#include "http/http_request.h"
#include "platform/event_pump.h"
#include "platform/file_system.h"
#include "platform/heap.h"
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
const char* const kNoFolder = "保存路径所在的文件夹不存在：\r\n";
const char* const kFolderNotWritable = "无法在保存路径所在的文件夹中创建文件：\r\n";
const char* const kTargetNotReplaceable = "保存路径上的文件是只读的，或正被其他程序使用：\r\n";
const char* const kChangeSavePath = "\r\n请修改保存路径后再下载";
const char* const kNoSpaceForTarget = "磁盘空间不足，无法保存下载的文件。\r\n原有的文件没有改动，请释放磁盘空间后重新下载";
const char* const kCannotWriteTarget = "无法写入保存路径上的文件。\r\n原有的文件没有改动，请检查保存路径后重新下载";
// The joined file is written beside the target under this suffix and takes the target's name
// only when it is whole, so a failed join never costs the file the user had.
const char* const kJoinSuffix = ".part";
// Beyond this the plan's arithmetic (in double precision, as the progress texts) is no longer
// exact; no real archive comes near it.
constexpr int64_t kLargestTotal = int64_t{1} << 53;
// How often the window's events are dispatched while a probe runs off the window's thread.
constexpr std::chrono::milliseconds kDispatchSlice{20};
// The probe asks for one byte; a server that ignores the range and sends the whole archive is cut
// off here rather than held in memory.
constexpr int64_t kProbeBodyLimit = 16;
// A probe that takes this long (connection, handshake and answer) comes from a server far enough
// for round trips to matter: between blocks, and in opening the other connections after the
// probe; on a near one it takes a few milliseconds.
constexpr std::chrono::milliseconds kFarServerProbe{25};

// The folder part of a path, with its separator ("" for a bare file name).
Text FolderOf(const Text& path) {
  const int64_t slash = std::max(text::FindLast(path, "\\"), text::FindLast(path, "/"));
  return slash < 1 ? Text() : text::Left(path, slash);
}

// Runs `work` on a thread of its own and returns once it has ended, dispatching the window's events
// meanwhile: a far or silent server may take the whole stall time to answer.
template <class Work>
void RunOffTheWindowThread(Work work) {
  std::packaged_task<void()> task(std::move(work));
  std::future<void> ended = task.get_future();
  std::thread thread(std::move(task));
  while (ended.wait_for(kDispatchSlice) != std::future_status::ready) platform::ProcessPendingEvents();
  thread.join();
}

}  // namespace

DownloadEngine::DownloadEngine(DownloadContext context)
    : context_(context),
      segmentWorker_([this](int32_t segmentNumber, int32_t resume) { SegmentWorker(context_, segmentNumber, resume); }) {
  context_.openingBlocks = &openingBlocks_;
}

bool DownloadEngine::SavePathUsable() {
  DownloadState& s = context_.state;
  const Text folder = FolderOf(s.savePath);
  Text problem;
  if (!folder.empty() && !storage::DirectoryExists(folder)) {
    problem = kNoFolder + folder;
  } else if (const Text trial = s.savePath + kJoinSuffix;
             !platform::WriteWholeFile(trial, {}) || !storage::RemoveFile(trial)) {
    problem = kFolderNotWritable + (folder.empty() ? s.savePath : folder);
  } else if (platform::KindOf(s.savePath) != platform::EntryKind::Missing && !platform::CanReplaceFile(s.savePath)) {
    problem = kTargetNotReplaceable + s.savePath;
  }
  if (problem.empty()) return true;
  context_.desktop.ShowMessage(problem + kChangeSavePath, "错误", MessageButtons::Ok, MessageIcon::Error);
  return false;
}

bool DownloadEngine::ProbeSize(int64_t& totalSize) {
  DownloadState& s = context_.state;
  Text headers, ledTo;
  Bytes body;
  bool multiplexed = false;
  const http::HttpRequestParams probe{.url = s.link,
                                      .headers = "Range : bytes=0-0",
                                      .responseHeaders = &headers,
                                      .timeoutSeconds = s.requestTimeoutSeconds,
                                      .appendBodyTo = &body,
                                      .bodyLimit = kProbeBodyLimit,
                                      .responseUrl = &ledTo,
                                      .multiplexed = &multiplexed};
  const auto sent = std::chrono::steady_clock::now();
  s.SetBlockUrl("");  // blocks asked for with the probe go to this link, not the last one's address
  RunOffTheWindowThread([&] {
    std::unique_ptr<http::PendingHttpRequest> pending = http::BeginHttpRequest(probe);
    if (!pending) return;
    using FirstBlocks = DownloadState::FirstBlocks;
    if (s.firstBlocks == FirstBlocks::WithTheProbe ||
        (s.firstBlocks == FirstBlocks::WithTheProbeOfAFarServer &&
         !pending->AnsweredWithin(static_cast<int32_t>(kFarServerProbe.count()))))
      openingBlocks_.Ask(s, s.threadCount - 1);  // the probe's connection is the sixteenth
    pending->Finish();
  });
  s.SetBlockUrl(ledTo);  // empty after a failed probe: blocks then go to the link itself
  s.overlapBlocks = s.blockOverlap == DownloadState::BlockOverlap::Always ||
                    (multiplexed && std::chrono::steady_clock::now() - sent >= kFarServerProbe);
  s.identity = FileIdentity::FromHeaders(headers);
  Text value = http::FindHeaderValue(headers, "Content-Range");
  int64_t slash = text::FindLast(value, "/");
  Text sizeText = text::Right(value, static_cast<int64_t>(value.size()) - slash);
  // An unknown or non-positive size ("*" for one) is no size to plan ranges for, nor is one too
  // large for the plan to count its bytes.
  totalSize = sizeText.empty() ? 0 : text::TextToInt64(sizeText);
  if (totalSize > 0 && totalSize <= kLargestTotal) return true;
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
  // Every planned segment must be there before anything is written.
  for (int32_t n = 1; n <= planned; ++n) {
    if (!storage::FileExists(SegmentFilePath(s.tempRoot, n))) {
      context_.desktop.ShowMessage(kMissingSegment, platform::kDefaultCaption, MessageButtons::Ok, MessageIcon::None);
      return false;
    }
  }
  const Text joinedPath = s.savePath + kJoinSuffix;
  uint32_t joined = context_.files.Open(joinedPath, storage::kCreateAlways);
  bool written = joined != 0;
  for (int32_t n = 1; written && n <= planned; ++n) {
    const Text segmentFile = SegmentFilePath(s.tempRoot, n);
    written = context_.files.AppendFile(joined, segmentFile);
    storage::RemoveFile(segmentFile);
    platform::ProcessPendingEvents();
  }
  context_.files.Close(joined);
  const bool whole = written && platform::FileLength(joinedPath) == s.totalSize;
  if (whole && platform::RenameFile(joinedPath, s.savePath)) return true;
  storage::RemoveFile(joinedPath);
  const char* problem = kCannotWriteTarget;
  if (written && !whole) {
    problem = kSizeMismatch;  // the segments were verified; only a server that lied gets here
  } else if (const int64_t room = written ? -1 : platform::FreeSpace(FolderOf(s.savePath));
             room >= 0 && room < s.totalSize) {
    problem = kNoSpaceForTarget;
  }
  context_.desktop.ShowMessage(problem, "错误", MessageButtons::Ok, MessageIcon::Error);
  return false;
}

void DownloadEngine::RunDownload() {
  Run();
  // The workers' buffers were freed on sixteen threads; an idle program should not keep them.
  platform::ReturnFreeMemory();
}

void DownloadEngine::Run() {
  DownloadState& s = context_.state;
  DownloadControls& window = context_.window;
  s.threadCount = kThreadCount;
  s.blockSize = kBlockSize;
  s.segments.assign(static_cast<size_t>(s.threadCount), SegmentTask{});
  s.plannedCount.store(0);
  if (!SavePathUsable()) return;
  s.pool.Create(s.threadCount);
  s.tempRoot = kTempRoot;
  if (!storage::DirectoryExists(s.tempRoot)) storage::CreateDirectoryTree(s.tempRoot);

  int64_t totalSize = 0;
  if (!ProbeSize(totalSize)) return;
  s.totalSize = totalSize;
  s.failed.store(0);
  s.fileChanged.store(0);
  s.writeFailed.store(0);
  s.ForgetUnsavedLedgers();
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
