#pragma once
// Copies of the size probe, sent over the download's other connections while a far server is
// still answering the probe: their connections, handshakes and the link's redirect then overlap
// the probe's instead of following its answer, and the first blocks find them open. Their answers
// are not read.
#include <memory>
#include <vector>

#include "http/http_request.h"

namespace tovak::download {

class ProbeCopies {
 public:
  ProbeCopies() = default;
  ProbeCopies(const ProbeCopies&) = delete;
  ProbeCopies& operator=(const ProbeCopies&) = delete;

  // Sends `count` copies of `probe`, whose outputs they do not touch.
  void Send(const http::HttpRequestParams& probe, int count);
  // Waits for the copies' answers, which come with the probe's, and forgets them.
  void Collect();

 private:
  struct Copy {
    Bytes body;  // kept within the probe's limit, as the probe's own
    std::unique_ptr<http::PendingHttpRequest> pending;
  };
  std::vector<std::unique_ptr<Copy>> copies_;
};

}  // namespace tovak::download
