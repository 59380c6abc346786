#include "download/range_files.h"

#include "platform/file_system.h"
#include "platform/ini_profile.h"
#include "text/number_text.h"

namespace tovak::download {
namespace {
const char* const kSection = "retry";
}

Text SegmentDirectory(const Text& tempRoot, int32_t n) { return tempRoot + text::IntegerText(n) + "\\"; }

Text ChunkPath(const Text& tempRoot, int32_t n, int32_t k) {
  return SegmentDirectory(tempRoot, n) + text::IntegerText(k) + ".temp";
}

Text LedgerPath(const Text& tempRoot, int32_t n) { return SegmentDirectory(tempRoot, n) + "retry.ini"; }

Text SegmentFilePath(const Text& tempRoot, int32_t n) { return tempRoot + text::IntegerText(n) + ".temp"; }

bool WriteLedger(const Text& path, const ResumeLedger& ledger) {
  // Plain decimal: the same text as 13 significant digits below 10^13, and exact above it.
  const bool written = platform::WriteProfileText(kSection, "start", text::IntegerText(ledger.start), path) &&
                       platform::WriteProfileText(kSection, "end", text::IntegerText(ledger.end), path) &&
                       platform::WriteProfileText(kSection, "seq", text::IntegerText(ledger.seq), path);
  // A ledger cut short would send a retry to the wrong byte.
  if (!written) platform::DeleteFileEntry(path);  // the platform's call: the fuzzers link this file without storage/
  return written;
}

ResumeLedger ReadLedger(const Text& path) {
  ResumeLedger ledger;
  ledger.start = text::TextToInt64(platform::ReadProfileText(kSection, "start", path));
  ledger.end = text::TextToInt64(platform::ReadProfileText(kSection, "end", path));
  ledger.seq = static_cast<int32_t>(text::TextToInt64(platform::ReadProfileText(kSection, "seq", path)));
  return ledger;
}

}  // namespace tovak::download
