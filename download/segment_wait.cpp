#include "download/segment_wait.h"

#include "download/range_files.h"
#include "platform/event_pump.h"
#include "storage/file_system_utils.h"

namespace tovak::download {
namespace {
constexpr int64_t kPollMs = 500;
const char* const kRetryQuestion = "部分数据下载失败，是否重试？选择【否】将删除已下载数据";
const char* const kRetryCaption = "警告";
const char* const kFileChanged = "服务器上的文件在下载过程中已被更换，已下载的数据无法使用并已删除。\r\n请重新点击下载，从头开始下载新的文件。";
const char* const kWriteFailed = "无法写入临时文件，磁盘空间可能不足。\r\n请释放磁盘空间后再选择重试，已下载的数据会保留。";

// Returns when a task has ended (the pool's task-done event) or after one poll interval at the
// latest, dispatching the window's events meanwhile: the end of the last range is noticed at once
// rather than at the next poll.
void WaitForATask(TaskPool& pool) {
  if (pool.GetState() == TaskPoolState::Running) {
    pool.WaitTaskDone(kPollMs, true);
  } else {
    PumpedWait(kPollMs);
  }
}

}  // namespace

bool PumpedWait(int64_t interval, std::optional<int32_t> unit) {
  int64_t perUnit;
  switch (unit.value_or(0)) {
    case 0: perUnit = 1; break;
    case 1: perUnit = 1000; break;
    case 2: perUnit = 60000; break;
    case 3: perUnit = 3600000; break;
    default: perUnit = *unit; break;
  }
  double ms = static_cast<double>(interval) * static_cast<double>(perUnit);
  if (ms > 0) platform::WaitWhileDispatching(std::chrono::milliseconds(static_cast<int64_t>(ms)));
  return true;
}

void WaitForSegments(DownloadContext& c, const TaskProcedure* segmentWorker) {
  DownloadState& s = c.state;
  for (;;) {
    while (!s.pool.IsIdle()) WaitForATask(s.pool);
    if (s.failed.load() != 1) return;
    if (s.fileChanged.load() == 1) {  // no retry can mend it
      storage::DeleteDirectoryTree(s.tempRoot);
      c.desktop.ShowMessage(kFileChanged, "错误", platform::MessageButtons::Ok, platform::MessageIcon::Error);
      return;
    }
    if (s.writeFailed.exchange(0) == 1)
      c.desktop.ShowMessage(kWriteFailed, "错误", platform::MessageButtons::Ok, platform::MessageIcon::Error);
    int answer = c.desktop.ShowMessage(kRetryQuestion, kRetryCaption, platform::MessageButtons::YesNo,
                                       platform::MessageIcon::None);
    if (answer != platform::kAnswerYes) {
      storage::DeleteDirectoryTree(s.tempRoot);
      s.ForgetUnsavedLedgers();
      return;
    }
    // Cleared before the first resume task is posted, so a failure of this pass is never lost.
    s.failed.store(0);
    for (int32_t n = 1; n <= s.threadCount; ++n) {
      if (storage::FileExists(LedgerPath(s.tempRoot, n)) || s.HasUnsavedLedger(n)) s.pool.Submit(segmentWorker, n, 1);
      platform::ProcessPendingEvents();
    }
  }
}

}  // namespace tovak::download
