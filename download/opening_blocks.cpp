#include "download/opening_blocks.h"

namespace tovak::download {

void OpeningBlocks::Ask(DownloadState& s, int count) {
  const int64_t span = static_cast<int64_t>(s.blockSize) + 1;
  for (int k = 0; k < count; ++k) {
    auto request = std::make_unique<BlockRequest>(s.blockSize);
    request->Start(s, {k * span, k * span + s.blockSize, span, 0});
    blocks_.push_back(std::move(request));
  }
}

void OpeningBlocks::KeepWithin(int64_t lastByte) {
  // A dropped request ends at once, before most of its body has come.
  while (!blocks_.empty() && blocks_.back()->Block().end > lastByte) blocks_.pop_back();
}

BlockRequests OpeningBlocks::Take() {
  BlockRequests taken;
  taken.swap(blocks_);
  return taken;
}

}  // namespace tovak::download
