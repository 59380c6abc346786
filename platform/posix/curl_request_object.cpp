// The request object over libcurl. Each thread keeps one easy handle between requests, so a
// worker that fetches block after block from one host reuses its connection (and TLS session).
#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <string>
#include <strings.h>
#include <vector>

#include "platform/code_page.h"
#include "platform/http_request_object.h"

namespace tovak::platform {
namespace {

using Clock = std::chrono::steady_clock;
constexpr long long kLargestReservation = 16LL << 20;

struct ThreadEasyHandle {
  CURL* handle = nullptr;
  bool inUse = false;
  ~ThreadEasyHandle() {
    if (handle) curl_easy_cleanup(handle);
  }
};

thread_local ThreadEasyHandle threadHandle;

void InitialiseCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// The URL as UTF-8 with every byte outside printable ASCII percent-encoded.
std::string EncodeUrl(const Text& url) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  for (unsigned char c : GbkToUtf8(url)) {
    if (c <= 0x20 || c >= 0x7F) {
      encoded += '%';
      encoded += kHex[c >> 4];
      encoded += kHex[c & 15];
    } else {
      encoded += static_cast<char>(c);
    }
  }
  return encoded;
}

class CurlRequestObject final : public HttpRequestObject {
 public:
  void SetTimeouts(int32_t resolveMs, int32_t connectMs, int32_t sendMs, int32_t receiveMs) override {
    connectMs_ = static_cast<long>(resolveMs) + connectMs;
    stallMs_ = std::max(sendMs, receiveMs);
  }
  void SetProxy(int32_t, const Text& proxy) override { proxy_ = GbkToUtf8(proxy); }
  void Open(const Text& verb, const Text& url, bool) override {
    verb_ = verb;
    url_ = EncodeUrl(url);
    opened_ = true;
    followRedirects_ = true;
    headerLines_.clear();
    ClearResponse();
  }
  void SetOption(int32_t option, int32_t value) override {
    if (option == kOptionEnableRedirects) followRedirects_ = value != 0;
  }
  void SetCredentials(const Text& user, const Text& password, int32_t target) override {
    (target == 1 ? proxyUser_ : serverUser_) = GbkToUtf8(user);
    (target == 1 ? proxyPassword_ : serverPassword_) = GbkToUtf8(password);
  }
  void SetRequestHeader(const Text& name, const Text& value) override {
    if (!opened_ || name.empty()) return;
    std::string line = GbkToUtf8(name);
    // "Name;" is how the library sends a header with an empty value.
    line += value.empty() ? ";" : ": " + GbkToUtf8(value);
    headerLines_.push_back(std::move(line));
  }
  void SendText(const Text& body) override { Perform(body); }
  void SendBytes(const Bytes& body) override { Perform(body); }
  void SetBodySink(Bytes* sink, int64_t limit) override {
    sink_ = sink;
    sinkLimit_ = limit;
  }
  Bytes TakeResponseBody() override { return std::move(body_); }
  Text GetAllResponseHeaders() override { return Utf8ToGbk(responseHeaders_); }
  int32_t Status() override { return status_; }

 private:
  void ClearResponse() {
    body_.clear();
    responseHeaders_.clear();
    status_ = 0;
  }

  static size_t OnBody(char* data, size_t size, size_t count, void* self) {
    auto* request = static_cast<CurlRequestObject*>(self);
    const size_t length = size * count;
    request->lastProgress_ = Clock::now();
    if (!request->sink_) {
      request->body_.append(data, length);
      return length;
    }
    Bytes& sink = *request->sink_;
    if (request->sinkLimit_ >= 0 &&
        static_cast<int64_t>(sink.size() - request->sinkStart_ + length) > request->sinkLimit_)
      return 0;  // a longer body than asked for is not worth receiving
    sink.append(data, length);
    return length;
  }

  static size_t OnHeader(char* data, size_t size, size_t count, void* self) {
    auto* request = static_cast<CurlRequestObject*>(self);
    std::string line(data, size * count);
    request->lastProgress_ = Clock::now();
    if (line.rfind("HTTP/", 0) == 0) {
      request->responseHeaders_.clear();  // a new response after a redirect or a 100 Continue
      return size * count;
    }
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    if (line.empty()) return size * count;
    request->responseHeaders_ += line + "\r\n";
    const std::string lengthName = "content-length:";
    if (line.size() > lengthName.size() && strncasecmp(line.c_str(), lengthName.c_str(), lengthName.size()) == 0) {
      // The length is the server's word: it sizes the first allocation, never more than a few MiB.
      long long length = std::strtoll(line.c_str() + lengthName.size(), nullptr, 10);
      if (length > 0 && !request->sink_)
        request->body_.reserve(static_cast<size_t>(std::min<long long>(length, kLargestReservation)));
    }
    return size * count;
  }

  // Aborts a transfer that has not moved for the stall time-out.
  static int OnProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    auto* request = static_cast<CurlRequestObject*>(self);
    if (request->stallMs_ <= 0) return 0;
    auto idle = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - request->lastProgress_);
    return idle.count() > request->stallMs_ ? 1 : 0;
  }

  void Perform(const Bytes& body) {
    if (sink_) sinkStart_ = sink_->size();
    ClearResponse();
    if (!opened_) return;
    InitialiseCurlOnce();
    CURL* curl;
    bool borrowed = !threadHandle.inUse;
    if (borrowed) {
      if (!threadHandle.handle) threadHandle.handle = curl_easy_init();
      curl = threadHandle.handle;
      threadHandle.inUse = true;
      curl_easy_reset(curl);
    } else {
      curl = curl_easy_init();
    }
    if (!curl) return;

    curl_slist* headers = nullptr;
    for (const std::string& line : headerLines_) headers = curl_slist_append(headers, line.c_str());
    // No "Expect: 100-continue" round trip before a request body.
    headers = curl_slist_append(headers, "Expect:");

    curl_easy_setopt(curl, CURLOPT_URL, url_.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, followRedirects_ ? 1L : 0L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &CurlRequestObject::OnBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &CurlRequestObject::OnHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &CurlRequestObject::OnProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, this);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, connectMs_ > 0 ? connectMs_ : 0L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    if (const char* bundle = std::getenv("SSL_CERT_FILE"); bundle && *bundle)
      curl_easy_setopt(curl, CURLOPT_CAINFO, bundle);
    if (!proxy_.empty()) curl_easy_setopt(curl, CURLOPT_PROXY, proxy_.c_str());
    if (!proxyUser_.empty()) {
      curl_easy_setopt(curl, CURLOPT_PROXYUSERNAME, proxyUser_.c_str());
      curl_easy_setopt(curl, CURLOPT_PROXYPASSWORD, proxyPassword_.c_str());
    }
    if (!serverUser_.empty()) {
      curl_easy_setopt(curl, CURLOPT_USERNAME, serverUser_.c_str());
      curl_easy_setopt(curl, CURLOPT_PASSWORD, serverPassword_.c_str());
    }
    if (verb_ == "HEAD") {
      curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    } else if (verb_ != "GET" || !body.empty()) {
      curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, verb_.c_str());
    }
    if (!body.empty()) {
      curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
      curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.data());
    }

    lastProgress_ = Clock::now();
    CURLcode rc = curl_easy_perform(curl);
    long code = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &code);
    curl_slist_free_all(headers);
    if (borrowed) {
      threadHandle.inUse = false;
    } else {
      curl_easy_cleanup(curl);
    }
    if (rc != CURLE_OK) {
      ClearResponse();
      if (sink_) sink_->resize(sinkStart_);
      return;
    }
    status_ = static_cast<int32_t>(code);
  }

  std::string verb_, url_, proxy_, proxyUser_, proxyPassword_, serverUser_, serverPassword_;
  std::vector<std::string> headerLines_;
  long connectMs_ = 0;
  long stallMs_ = 0;
  bool opened_ = false;
  bool followRedirects_ = true;
  Bytes body_;
  Bytes* sink_ = nullptr;
  int64_t sinkLimit_ = -1;
  size_t sinkStart_ = 0;
  std::string responseHeaders_;
  int32_t status_ = 0;
  Clock::time_point lastProgress_;
};

}  // namespace

HttpRequestObjectRef CreateHttpRequestObject() { return std::make_shared<CurlRequestObject>(); }

}  // namespace tovak::platform
