#pragma once
// Names and the resume ledger of the temporary tree: per segment n a directory of chunk files
// "<root>n\k.temp", a ledger "<root>n\retry.ini" after a failure, and the joined segment file
// "<root>n.temp" beside the directory.
#include <cstdint>

#include "text/text.h"

namespace tovak::download {

// A worker writes its buffer out as the next chunk once it holds more than this.
constexpr int64_t kChunkThreshold = 10485760;

Text SegmentDirectory(const Text& tempRoot, int32_t segmentNumber);
Text ChunkPath(const Text& tempRoot, int32_t segmentNumber, int32_t chunkNumber);
Text LedgerPath(const Text& tempRoot, int32_t segmentNumber);
Text SegmentFilePath(const Text& tempRoot, int32_t segmentNumber);

// Where a failed segment continues: the first byte not yet in a chunk file, the end of the first
// block to request, and the number of chunk files already written.
struct ResumeLedger {
  int64_t start = 0;
  int64_t end = 0;
  int32_t seq = 0;
};

// False when the file could not be written whole.
bool WriteLedger(const Text& path, const ResumeLedger& ledger);
ResumeLedger ReadLedger(const Text& path);

}  // namespace tovak::download
