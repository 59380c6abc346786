#pragma once
// One block of a range: asked for with one request, accepted only from an exact answer. A block
// may be asked for ahead, while the body of the one before it still arrives, so that a far
// server's connection never waits a round trip between blocks.
#include <cstdint>
#include <deque>
#include <memory>

#include "download/download_state.h"
#include "http/http_request.h"

namespace tovak::download {

// The bytes blockStart..blockEnd asked for; `available` of them exist in the file. How far past
// `rangeStart` the block lies orders the requests that wait for a connection, so that the ranges
// that have fallen behind are served first and all of them finish together.
struct BlockSpan {
  int64_t start = 0, end = 0, available = 0, rangeStart = 0;
};

// Appends the block to `buffer`; true when the answer was exact. An answer from another file than
// the probe's sets the state's `fileChanged`. It asks where the link led;
// when that address refuses the block (a signed address that has expired, say), it asks the link
// once more, which follows the redirect anew and renews the address. A refused block leaves
// `buffer` as it was.
bool FetchBlock(DownloadState& state, const BlockSpan& block, Bytes& buffer);
// The second half of FetchBlock, for a block that where the link led has refused already; false
// at once when the link leads nowhere else.
bool FetchBlockAgainFromTheLink(DownloadState& state, const BlockSpan& block, Bytes& buffer);

// A block asked for ahead. It must not move between its start and its finish, which may run on
// another thread once the start has been handed over (with a task's posting, say).
class BlockRequest {
 public:
  explicit BlockRequest(int32_t blockSize);
  // An exchange still running is ended first: it writes into the body.
  ~BlockRequest() { Discard(); }
  BlockRequest(const BlockRequest&) = delete;
  BlockRequest& operator=(const BlockRequest&) = delete;
  void Start(DownloadState& state, const BlockSpan& block);
  const BlockSpan& Block() const { return block_; }
  // Waits for the answer; true when it was exact, its body then being Body().
  bool Finish(DownloadState& state);
  // The request is dropped unanswered; its body is never used.
  void Discard() { pending_.reset(); }
  const Bytes& Body() const { return body_; }

 private:
  std::unique_ptr<http::PendingHttpRequest> pending_;
  BlockSpan block_;
  Bytes body_;
  Text headers_;
  int32_t status_ = 0;
};

// Blocks asked for ahead, oldest first.
using BlockRequests = std::deque<std::unique_ptr<BlockRequest>>;

}  // namespace tovak::download
