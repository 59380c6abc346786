#pragma once
// The driver of one download: probe the size, plan up to 16 ranges, run them on the pool, wait
// (with the retry prompt), join the segment files into the target and open it.
#include "concurrency/task_pool.h"
#include "download/download_context.h"
#include "download/opening_blocks.h"

namespace tovak::download {

class DownloadEngine {
 public:
  explicit DownloadEngine(DownloadContext context);
  DownloadEngine(const DownloadEngine&) = delete;
  DownloadEngine& operator=(const DownloadEngine&) = delete;

  // Runs one download with the link and save path stored in the state; returns when it has ended.
  void RunDownload();
  DownloadContext& Context() { return context_; }

 private:
  // Whether the target can be written where the save path says; a message box says why not.
  bool SavePathUsable();
  bool ProbeSize(int64_t& totalSize);
  void PlanAndSubmit();
  void Run();
  bool JoinSegments();

  DownloadContext context_;
  TaskProcedure segmentWorker_;
  OpeningBlocks openingBlocks_;
};

}  // namespace tovak::download
