#pragma once
// One synchronous HTTP exchange. Failures are never raised: a failed exchange gives an empty body,
// empty response headers and status 0.
#include <cstdint>
#include <memory>
#include <optional>

#include "platform/http_request_object.h"
#include "text/text.h"

namespace tovak::http {

enum Method : int32_t { kGet = 0, kPost = 1, kHead = 2, kPut = 3, kOptions = 4, kDelete = 5, kTrace = 6, kConnect = 7 };

// The parameters in their fixed order. Outputs are written through the pointers that are given.
// For the optionals an absent value differs from any given one, an empty text included.
struct HttpRequestParams {
  Text url;
  int32_t method = kGet;
  Text bodyText;
  Text* cookies = nullptr;  // in/out; null: no Cookie header is set
  Text* receivedCookies = nullptr;
  Text headers;
  Text* responseHeaders = nullptr;
  int32_t* status = nullptr;
  bool noRedirect = false;
  Bytes bodyBytes;
  Text proxy;
  int32_t timeoutSeconds = 0;  // below 1: 15 s; -1: the object's own time-outs
  Text proxyUser;
  Text proxyPassword;
  std::optional<int32_t> credentialTarget;  // absent: 1, the proxy
  platform::HttpRequestObjectRef sharedRequest;
  std::optional<bool> mergeCookies;
  std::optional<bool> completeHeaders;
  std::optional<bool> normalizeHeaderNames;
  // When given, the body is appended here and not returned, so a caller collecting many bodies
  // copies none of them; a body longer than `bodyLimit` (unless -1) fails the exchange. A failed
  // exchange appends nothing.
  Bytes* appendBodyTo = nullptr;
  int64_t bodyLimit = -1;
  // Where the response came from: `url`, or where its redirects led; empty when it failed.
  Text* responseUrl = nullptr;
  // Where the exchange goes among others that wait for a connection to the host.
  platform::QueueHint queueHint;
  // Whether the answer came over a connection that carries several exchanges at once (HTTP/2).
  bool* multiplexed = nullptr;
};

// The response body (empty when it went to `appendBodyTo`).
Bytes HttpRequest(const HttpRequestParams& params);

// An exchange that has been sent and is not waited for yet, so that the calling thread can send
// its next one meanwhile. Its outputs (and the buffer of `appendBodyTo`) belong to it until
// Finish(); one destroyed unfinished is abandoned and may have appended part of its body.
class PendingHttpRequest {
 public:
  PendingHttpRequest(const HttpRequestParams& params, platform::HttpRequestObjectRef request);
  PendingHttpRequest(const PendingHttpRequest&) = delete;
  PendingHttpRequest& operator=(const PendingHttpRequest&) = delete;
  // Whether the answer comes (or the exchange fails) within `ms`; Finish() is still needed.
  bool AnsweredWithin(int32_t ms) { return request_->AnsweredWithin(ms); }
  // Waits for the answer and writes the outputs; the result is HttpRequest's.
  Bytes Finish();

 private:
  HttpRequestParams params_;
  platform::HttpRequestObjectRef request_;
};

// Null when no request object can be made (HttpRequest then gives the failed exchange's result).
std::unique_ptr<PendingHttpRequest> BeginHttpRequest(const HttpRequestParams& params);

}  // namespace tovak::http
