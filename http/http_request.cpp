#include "http/http_request.h"

#include "http/base64.h"
#include "http/header_text.h"
#include "text/text_ops.h"

namespace tovak::http {
namespace {

const char* const kVerbs[] = {"GET", "POST", "HEAD", "PUT", "OPTIONS", "DELETE", "TRACE", "CONNECT"};
constexpr int32_t kDefaultTimeoutMs = 15000;
constexpr int32_t kNamedProxy = 2;

struct StandardHeader {
  const char* probe;
  const char* line;  // appended after CR LF; the Referer line takes the URL
};
const StandardHeader kStandardHeaders[] = {
    {"Accept:", "Accept: */*"},
    {"Referer:", "Referer: "},
    {"Accept-Language:", "Accept-Language: zh-cn"},
    {"User-Agent:", "User-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)"},
};

Text CompleteHeaders(Text h, const Text& url, int32_t method) {
  for (const StandardHeader& header : kStandardHeaders) {
    if (text::Contains(h, header.probe, true)) continue;
    h += "\r\n";
    h += header.line;
    if (Text(header.probe) == "Referer:") h += url;
  }
  if (method == kPost && !text::Contains(h, "Content-Type:", true))
    h += "\r\nContent-Type: application/x-www-form-urlencoded";
  return h;
}

void SetHeaderLines(platform::HttpRequestObject& request, const Text& h) {
  if (!text::Contains(h, "\r\n")) {
    if (!h.empty()) request.SetRequestHeader(HeaderName(h), HeaderValue(h));
    return;
  }
  for (const Text& line : text::Split(h, "\r\n")) {
    if (line.empty()) continue;
    Text name = HeaderName(line), value = HeaderValue(line);
    if (name == "Connection" && value == "keep-alive") continue;
    request.SetRequestHeader(name, value);
  }
}

}  // namespace

Bytes HttpRequest(const HttpRequestParams& p) {
  std::unique_ptr<PendingHttpRequest> pending = BeginHttpRequest(p);
  return pending ? pending->Finish() : Bytes{};
}

std::unique_ptr<PendingHttpRequest> BeginHttpRequest(const HttpRequestParams& p) {
  platform::HttpRequestObjectRef request = p.sharedRequest ? p.sharedRequest : platform::CreateHttpRequestObject();
  if (!request) return nullptr;
  return std::make_unique<PendingHttpRequest>(p, std::move(request));
}

PendingHttpRequest::PendingHttpRequest(const HttpRequestParams& p, platform::HttpRequestObjectRef object)
    : params_(p), request_(std::move(object)) {
  platform::HttpRequestObject* request = request_.get();
  int32_t method = (p.method < 0 || p.method > 7) ? kGet : p.method;

  if (p.timeoutSeconds != -1) {
    int32_t t = p.timeoutSeconds < 1 ? kDefaultTimeoutMs : static_cast<int32_t>(p.timeoutSeconds * 1000.0);
    request->SetTimeouts(t, t, t, t);
  }
  if (!p.proxy.empty()) request->SetProxy(kNamedProxy, p.proxy);
  request->Open(kVerbs[method], p.url, false);
  if (p.noRedirect) request->SetOption(platform::HttpRequestObject::kOptionEnableRedirects, 0);
  // Certificate errors are never ignored: the archive this fetches is opened afterwards.

  Text h = p.headers;
  if (p.completeHeaders.value_or(true)) h = CompleteHeaders(h, p.url, method);
  if (p.normalizeHeaderNames.value_or(true)) h = NormalizeHeaderNames(h);

  if (!p.proxy.empty() && !p.proxyUser.empty()) {
    int32_t target = p.credentialTarget.value_or(1);
    request->SetCredentials(p.proxyUser, p.proxyPassword, target);
    if (target == 1)
      request->SetRequestHeader("Proxy-Authorization", "Basic " + Base64Encode(p.proxyUser + ":" + p.proxyPassword));
  }
  if (p.cookies) {
    if (!p.cookies->empty() && text::Contains(*p.cookies, "Cookie:", true))
      *p.cookies = text::ReplaceAll(*p.cookies, "Cookie:", "", true);
    request->SetRequestHeader("Cookie", *p.cookies);
  }
  SetHeaderLines(*request, h);

  request->SetBodySink(p.appendBodyTo, p.bodyLimit);
  request->SetQueueHint(p.queueHint);
  if (!p.bodyBytes.empty()) {
    request->StartBytes(p.bodyBytes);
  } else {
    request->StartText(p.bodyText);
  }
}

Bytes PendingHttpRequest::Finish() {
  const HttpRequestParams& p = params_;
  platform::HttpRequestObject* request = request_.get();
  request->FinishSend();
  request->SetBodySink(nullptr, -1);
  Bytes body = request->TakeResponseBody();
  Text responseHeaders = request->GetAllResponseHeaders();
  if (p.responseHeaders) *p.responseHeaders = responseHeaders;
  if (p.status) *p.status = request->Status();
  if (p.responseUrl) *p.responseUrl = request->ResponseUrl();
  if (p.multiplexed) *p.multiplexed = request->Multiplexed();
  Text received = ExtractSetCookies(responseHeaders);
  if (p.mergeCookies.value_or(true) && p.cookies) received = MergeCookies(*p.cookies, received);
  if (p.receivedCookies) *p.receivedCookies = received;
  return body;
}

}  // namespace tovak::http
