// The request object over libcurl. Its exchanges run on the process's transfer thread
// (curl_transfers.h), which keeps the connections (and TLS sessions) from one request to the
// next: an exchange that has been started goes on while its caller starts another or waits.
#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <string>
#include <strings.h>
#include <vector>

#include "platform/code_page.h"
#include "platform/posix/curl_transfers.h"
#include "platform/request_object_base.h"

namespace tovak::platform {
namespace {

constexpr long long kLargestReservation = 16LL << 20;

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

class CurlRequestObject final : public RequestObjectBase {
 private:
  static size_t OnBody(char* data, size_t size, size_t count, void* self) {
    auto* request = static_cast<CurlRequestObject*>(self);
    const size_t length = size * count;
    if (!request->sink_) {
      request->body_.append(data, length);
      return length;
    }
    Bytes& sink = *request->sink_;
    if (!request->WithinLimit(sink.size() - request->sinkStart_, length))
      return 0;  // a longer body than asked for is not worth receiving
    sink.append(data, length);
    return length;
  }

  static size_t OnHeader(char* data, size_t size, size_t count, void* self) {
    auto* request = static_cast<CurlRequestObject*>(self);
    std::string line(data, size * count);
    if (line.rfind("HTTP/", 0) == 0) {
      request->rawHeaders_.clear();  // a new response after a redirect or a 100 Continue
      return size * count;
    }
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    if (line.empty()) return size * count;
    request->rawHeaders_ += line + "\r\n";
    const std::string lengthName = "content-length:";
    if (line.size() > lengthName.size() && strncasecmp(line.c_str(), lengthName.c_str(), lengthName.size()) == 0) {
      // The length is the server's word: it sizes the first allocation, never more than a few MiB.
      long long length = std::strtoll(line.c_str() + lengthName.size(), nullptr, 10);
      if (length > 0 && !request->sink_)
        request->body_.reserve(static_cast<size_t>(std::min<long long>(length, kLargestReservation)));
    }
    return size * count;
  }

  bool Exchange(const Bytes& body) override { return BeginExchange(body) && FinishExchange(); }

  bool BeginExchange(const Bytes& body) override {
    CurlTransfers& transfers = CurlTransfers::Instance();
    CURL* curl = transfers.TakeHandle();
    if (!curl) return false;
    easy_ = curl;
    done_ = succeeded_ = false;

    for (const auto& [name, value] : headers_) {
      // "Name;" is how the library sends a header with an empty value.
      const std::string line = GbkToUtf8(name) + (value.empty() ? ";" : ": " + GbkToUtf8(value));
      headerList_ = curl_slist_append(headerList_, line.c_str());
    }
    // No "Expect: 100-continue" round trip before a request body.
    headerList_ = curl_slist_append(headerList_, "Expect:");

    // The library keeps its own copies of these texts.
    const std::string url = EncodeUrl(url_), proxy = GbkToUtf8(proxy_), proxyUser = GbkToUtf8(proxyUser_),
                      proxyPassword = GbkToUtf8(proxyPassword_), serverUser = GbkToUtf8(serverUser_),
                      serverPassword = GbkToUtf8(serverPassword_);
    const long connectMs = static_cast<long>(timeouts_.resolveMs) + timeouts_.connectMs;
    rawHeaders_.clear();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headerList_);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, followRedirects_ ? 1L : 0L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    // A second exchange to the host waits to share the first one's connection (HTTP/2) rather
    // than opening its own.
    curl_easy_setopt(curl, CURLOPT_PIPEWAIT, 1L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &CurlRequestObject::OnBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &CurlRequestObject::OnHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, connectMs > 0 ? connectMs : 0L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    if (const char* bundle = std::getenv("SSL_CERT_FILE"); bundle && *bundle)
      curl_easy_setopt(curl, CURLOPT_CAINFO, bundle);
    if (!proxy.empty()) curl_easy_setopt(curl, CURLOPT_PROXY, proxy.c_str());
    if (!proxyUser.empty()) {
      curl_easy_setopt(curl, CURLOPT_PROXYUSERNAME, proxyUser.c_str());
      curl_easy_setopt(curl, CURLOPT_PROXYPASSWORD, proxyPassword.c_str());
    }
    if (!serverUser.empty()) {
      curl_easy_setopt(curl, CURLOPT_USERNAME, serverUser.c_str());
      curl_easy_setopt(curl, CURLOPT_PASSWORD, serverPassword.c_str());
    }
    if (verb_ == "HEAD") {
      curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    } else if (verb_ != "GET" || !body.empty()) {
      curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, verb_.c_str());
    }
    if (!body.empty()) {
      curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
      curl_easy_setopt(curl, CURLOPT_COPYPOSTFIELDS, body.data());
    }

    const std::chrono::milliseconds stall(std::max(timeouts_.sendMs, timeouts_.receiveMs));
    transfers.Start(curl, url, queueHint_, stall, [this](CURLcode result) { Complete(result); });
    return true;
  }

  bool FinishExchange() override {
    {
      std::unique_lock lock(mutex_);
      ended_.wait(lock, [this] { return done_; });
    }
    Release();
    return succeeded_;
  }

  bool ExchangeEndsWithin(int32_t ms) override {
    std::unique_lock lock(mutex_);
    return ended_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return done_; });
  }

  // On the transfer thread, once the handle is out of the transfers.
  void Complete(CURLcode result) {
    long code = 0, redirects = 0;
    const char* responseUrl = nullptr;
    curl_easy_getinfo(easy_, CURLINFO_RESPONSE_CODE, &code);
    curl_easy_getinfo(easy_, CURLINFO_REDIRECT_COUNT, &redirects);
    curl_easy_getinfo(easy_, CURLINFO_EFFECTIVE_URL, &responseUrl);
    if (result == CURLE_OK) {
      status_ = static_cast<int32_t>(code);
      responseHeaders_ = Utf8ToGbk(rawHeaders_);
      // Without a redirect the address stays the caller's own text, not its encoded form.
      if (redirects > 0 && responseUrl) responseUrl_ = Utf8ToGbk(responseUrl);
      multiplexed_ = IsMultiplexed(easy_);
    }
    std::lock_guard lock(mutex_);
    succeeded_ = result == CURLE_OK;
    done_ = true;
    ended_.notify_all();
  }

  // Ends an exchange still running and hands the handle back for later exchanges.
  void Release() {
    if (easy_) CurlTransfers::Instance().GiveBack(easy_);
    easy_ = nullptr;
    curl_slist_free_all(headerList_);
    headerList_ = nullptr;
  }

 public:
  ~CurlRequestObject() override { Release(); }

 private:
  CURL* easy_ = nullptr;
  curl_slist* headerList_ = nullptr;
  std::mutex mutex_;
  std::condition_variable ended_;
  bool done_ = false, succeeded_ = false;
  std::string rawHeaders_;  // UTF-8, as they arrive
};

}  // namespace

HttpRequestObjectRef CreateHttpRequestObject() { return std::make_shared<CurlRequestObject>(); }

}  // namespace tovak::platform
