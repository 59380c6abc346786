#pragma once
// The first blocks of the first range, asked for while a far server is still answering the size
// probe, one on each connection that the probe does not use: their connections, handshakes and
// the link's redirect overlap the probe's instead of following its answer, and their bodies
// arrive a round trip sooner than any block asked for after it. The first range starts at byte 0
// whatever the size, so these blocks are known before it; those that the range turns out not to
// hold whole are dropped as soon as the size is known, and the range's worker takes the others
// as blocks asked for ahead.
#include "download/block_fetch.h"

namespace tovak::download {

class OpeningBlocks {
 public:
  // Asks for the first `count` blocks of a range that starts at byte 0.
  void Ask(DownloadState& state, int count);
  // Keeps the blocks that end at or before `lastByte` of the first range; the rest are dropped.
  void KeepWithin(int64_t lastByte);
  // The blocks kept, in order; they are the caller's from now on.
  BlockRequests Take();
  void DropAll() { blocks_.clear(); }

 private:
  BlockRequests blocks_;
};

}  // namespace tovak::download
