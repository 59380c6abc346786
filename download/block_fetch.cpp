#include "download/block_fetch.h"

#include "http/content_range.h"
#include "http/header_text.h"
#include "text/number_text.h"

namespace tovak::download {
namespace {

// Only the requested bytes of the probed file may reach a chunk: the answer must be partial
// content that names exactly those bytes and carries exactly as many. A cache that answers with
// other bytes of the same length is refused; an answer for a file of another size or validator
// means that the file on the server has changed, which no retry can mend: the run is told.
bool IsExactAnswer(DownloadState& s, int32_t status, const Text& headers, const BlockSpan& block, int64_t received) {
  if (status < 200 || status > 299) return false;
  auto range = http::ParseContentRange(http::FindHeaderValue(headers, "Content-Range"));
  const bool otherTotal = range && range->total != http::ContentRange::kUnknownTotal && range->total != s.totalSize;
  if (otherTotal || s.identity.IsOtherFile(headers)) {
    s.fileChanged.store(1);
    return false;
  }
  if (status != 206) return false;
  const int64_t last = block.start + block.available - 1;
  return range && range->first == block.start && range->last == last && received == block.available;
}

Text RangeHeader(const BlockSpan& block) {
  return "Range : bytes=" + text::IntegerText(block.start) + "-" + text::IntegerText(block.end);
}

// The request for `block`: its answer's headers and status to the places given, its body appended
// to `body` and cut off past the block.
http::HttpRequestParams BlockParams(DownloadState& s, const Text& url, const BlockSpan& block, Text& headers,
                                    int32_t& status, Bytes& body) {
  return {.url = url,
          .headers = RangeHeader(block),
          .responseHeaders = &headers,
          .status = &status,
          .timeoutSeconds = s.requestTimeoutSeconds,
          .appendBodyTo = &body,
          .bodyLimit = block.available,
          .queueHint = {.order = block.start - block.rangeStart, .bytesStillWanted = s.StillWanted()}};
}

bool FetchFrom(const Text& url, DownloadState& s, const BlockSpan& block, Bytes& buffer, Text* ledTo = nullptr) {
  const size_t buffered = buffer.size();
  Text headers;
  int32_t status = 0;
  http::HttpRequestParams params = BlockParams(s, url, block, headers, status, buffer);
  params.responseUrl = ledTo;
  http::HttpRequest(params);
  if (IsExactAnswer(s, status, headers, block, static_cast<int64_t>(buffer.size() - buffered))) return true;
  buffer.resize(buffered);
  return false;
}

}  // namespace

bool FetchBlock(DownloadState& s, const BlockSpan& block, Bytes& buffer) {
  return FetchFrom(s.BlockUrl(), s, block, buffer) || FetchBlockAgainFromTheLink(s, block, buffer);
}

bool FetchBlockAgainFromTheLink(DownloadState& s, const BlockSpan& block, Bytes& buffer) {
  if (s.BlockUrl() == s.link || s.fileChanged.load()) return false;
  Text ledTo;
  if (!FetchFrom(s.link, s, block, buffer, &ledTo)) return false;
  if (!ledTo.empty()) s.SetBlockUrl(ledTo);
  return true;
}

BlockRequest::BlockRequest(int32_t blockSize) { body_.reserve(static_cast<size_t>(blockSize) + 1); }

void BlockRequest::Start(DownloadState& s, const BlockSpan& block) {
  block_ = block;
  body_.clear();
  headers_.clear();
  status_ = 0;
  pending_ = http::BeginHttpRequest(BlockParams(s, s.BlockUrl(), block, headers_, status_, body_));
}

bool BlockRequest::Finish(DownloadState& s) {
  if (!pending_) return false;
  pending_->Finish();
  pending_.reset();
  return IsExactAnswer(s, status_, headers_, block_, static_cast<int64_t>(body_.size()));
}

}  // namespace tovak::download
