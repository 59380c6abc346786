#pragma once
// The pool task for one byte range: fetches it block by block, keeps about 10 MB in memory per
// chunk file, shows progress, and joins its chunks into the segment file. A rejected block ends
// the task with a resume ledger and the run's failed flag set.
#include <cstdint>

#include "download/download_context.h"

namespace tovak::download {

// `resume` 0 starts the range afresh; 1 continues from the segment's ledger.
void SegmentWorker(DownloadContext& context, int32_t segmentNumber, int32_t resume);

// "- 正在下载:<done>MB/<total>MB  进度:<percent>%"
Text ProgressText(int64_t downloaded, int64_t totalSize, int progressPosition);

}  // namespace tovak::download
