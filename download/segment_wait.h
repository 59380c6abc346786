#pragma once
// The window thread's wait for the pool, with the retry prompt for failed segments.
#include <cstdint>
#include <optional>

#include "concurrency/task_pool.h"
#include "download/download_context.h"

namespace tovak::download {

// Returns when the pool is idle and either no segment failed or the user declined the retry (then
// `failed` is 1 and the temporary tree is gone). Yes resubmits every segment that has a ledger.
void WaitForSegments(DownloadContext& context, const TaskProcedure* segmentWorker);

// Waits `interval` units while dispatching the window's events. Units: 0 or absent milliseconds,
// 1 seconds, 2 minutes, 3 hours, any other value milliseconds per unit.
bool PumpedWait(int64_t interval, std::optional<int32_t> unit = {});

}  // namespace tovak::download
