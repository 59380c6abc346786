#include "download/probe_copies.h"

namespace tovak::download {

void ProbeCopies::Send(const http::HttpRequestParams& probe, int count) {
  for (int k = 0; k < count; ++k) {
    auto copy = std::make_unique<Copy>();
    http::HttpRequestParams params = probe;
    params.responseHeaders = nullptr;
    params.status = nullptr;
    params.receivedCookies = nullptr;
    params.responseUrl = nullptr;
    params.multiplexed = nullptr;
    params.appendBodyTo = &copy->body;
    copy->pending = http::BeginHttpRequest(params);
    if (copy->pending) copies_.push_back(std::move(copy));
  }
}

void ProbeCopies::Collect() {
  for (auto& copy : copies_) copy->pending->Finish();
  copies_.clear();
}

}  // namespace tovak::download
