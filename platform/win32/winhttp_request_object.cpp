// The request object over the WinHTTP functions. All objects share one session, so WinHTTP keeps
// the connections of finished requests and hands them to the next request for the same server:
// a worker's block requests travel over a connection that is already open. A body is read
// straight into the caller's sink and cut off at its limit.
#include <windows.h>
#include <winhttp.h>

#include <array>
#include <mutex>
#include <string>

#include "platform/http_request_object.h"
#include "platform/win32/wide_text.h"

namespace tovak::platform {
namespace {

HINTERNET Session() {
  static std::once_flag once;
  static HINTERNET session = nullptr;
  std::call_once(once, [] {
    session = WinHttpOpen(L"Tovak Downloader", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                          WINHTTP_NO_PROXY_BYPASS, 0);
    if (!session) return;
    // Where the system offers HTTP/2 the server may choose it; elsewhere the option is refused.
    DWORD protocols = WINHTTP_PROTOCOL_FLAG_HTTP2;
    WinHttpSetOption(session, WINHTTP_OPTION_ENABLE_HTTP_PROTOCOL, &protocols, sizeof protocols);
  });
  return session;
}

class Handle {
 public:
  explicit Handle(HINTERNET handle = nullptr) : handle_(handle) {}
  ~Handle() {
    if (handle_) WinHttpCloseHandle(handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HINTERNET get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }

 private:
  HINTERNET handle_;
};

class WinHttpRequestObject final : public HttpRequestObject {
 public:
  void SetTimeouts(int32_t resolveMs, int32_t connectMs, int32_t sendMs, int32_t receiveMs) override {
    timeouts_ = {resolveMs, connectMs, sendMs, receiveMs};
  }
  void SetProxy(int32_t, const Text& proxy) override { proxy_ = Wide(proxy); }
  void Open(const Text& verb, const Text& url, bool) override {
    verb_ = Wide(verb);
    url_ = Wide(url);
    opened_ = true;
    followRedirects_ = true;
    headers_.clear();
    ClearResponse();
  }
  void SetOption(int32_t option, int32_t value) override {
    if (option == kOptionEnableRedirects) followRedirects_ = value != 0;
  }
  void SetCredentials(const Text& user, const Text& password, int32_t target) override {
    (target == 1 ? proxyUser_ : serverUser_) = Wide(user);
    (target == 1 ? proxyPassword_ : serverPassword_) = Wide(password);
  }
  void SetRequestHeader(const Text& name, const Text& value) override {
    if (!opened_ || name.empty()) return;
    headers_ += Wide(name) + L": " + Wide(value) + L"\r\n";
  }
  void SendText(const Text& body) override { Perform(body); }
  void SendBytes(const Bytes& body) override { Perform(body); }
  void SetBodySink(Bytes* sink, int64_t limit) override {
    sink_ = sink;
    sinkLimit_ = limit;
  }
  Bytes TakeResponseBody() override { return std::move(body_); }
  Text GetAllResponseHeaders() override { return responseHeaders_; }
  int32_t Status() override { return status_; }

 private:
  void ClearResponse() {
    body_.clear();
    responseHeaders_.clear();
    status_ = 0;
  }

  void Perform(const Bytes& body) {
    ClearResponse();
    const size_t sinkStart = sink_ ? sink_->size() : 0;
    if (!opened_ || !Exchange(body, sinkStart)) {
      ClearResponse();
      if (sink_) sink_->resize(sinkStart);
    }
  }

  bool Exchange(const Bytes& body, size_t sinkStart) {
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    if (!Session() || !WinHttpCrackUrl(url_.c_str(), static_cast<DWORD>(url_.size()), 0, &parts)) return false;
    const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    const std::wstring path = std::wstring(parts.lpszUrlPath, parts.dwUrlPathLength) +
                              std::wstring(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    Handle connection(WinHttpConnect(Session(), host.c_str(), parts.nPort, 0));
    if (!connection) return false;
    const DWORD secure = parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0;
    Handle request(WinHttpOpenRequest(connection.get(), verb_.c_str(), path.empty() ? L"/" : path.c_str(), nullptr,
                                      WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, secure));
    if (!request) return false;
    Configure(request.get());

    LPVOID data = body.empty() ? WINHTTP_NO_REQUEST_DATA : const_cast<char*>(body.data());
    const DWORD length = static_cast<DWORD>(body.size());
    if (!WinHttpSendRequest(request.get(), headers_.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : headers_.c_str(),
                            static_cast<DWORD>(-1L), data, length, length, 0) ||
        !WinHttpReceiveResponse(request.get(), nullptr))
      return false;

    DWORD status = 0, size = sizeof status;
    if (!WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX))
      return false;
    Text headers = RawHeaders(request.get());
    if (!ReadBody(request.get(), sinkStart)) return false;
    status_ = static_cast<int32_t>(status);
    responseHeaders_ = std::move(headers);
    return true;
  }

  void Configure(HINTERNET request) {
    WinHttpSetTimeouts(request, timeouts_[0], timeouts_[1], timeouts_[2], timeouts_[3]);
    if (!proxy_.empty()) {
      WINHTTP_PROXY_INFO info{WINHTTP_ACCESS_TYPE_NAMED_PROXY, proxy_.data(), nullptr};
      WinHttpSetOption(request, WINHTTP_OPTION_PROXY, &info, sizeof info);
    }
    if (!followRedirects_) {
      DWORD disable = WINHTTP_DISABLE_REDIRECTS;
      WinHttpSetOption(request, WINHTTP_OPTION_DISABLE_FEATURE, &disable, sizeof disable);
    }
    SetText(request, WINHTTP_OPTION_PROXY_USERNAME, proxyUser_);
    SetText(request, WINHTTP_OPTION_PROXY_PASSWORD, proxyPassword_);
    SetText(request, WINHTTP_OPTION_USERNAME, serverUser_);
    SetText(request, WINHTTP_OPTION_PASSWORD, serverPassword_);
  }

  static void SetText(HINTERNET request, DWORD option, std::wstring& value) {
    if (!value.empty())
      WinHttpSetOption(request, option, value.data(), static_cast<DWORD>(value.size()));
  }

  // The header lines as the Linux object gives them: without the status line.
  static Text RawHeaders(HINTERNET request) {
    DWORD size = 0;
    WinHttpQueryHeaders(request, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX, nullptr, &size,
                        WINHTTP_NO_HEADER_INDEX);
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) return {};
    std::wstring raw(size / sizeof(wchar_t), L'\0');
    if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX, raw.data(), &size,
                             WINHTTP_NO_HEADER_INDEX))
      return {};
    raw.resize(size / sizeof(wchar_t));
    size_t firstLine = raw.find(L"\r\n");
    raw.erase(0, firstLine == std::wstring::npos ? raw.size() : firstLine + 2);
    if (raw.size() >= 4 && raw.compare(raw.size() - 4, 4, L"\r\n\r\n") == 0) raw.resize(raw.size() - 2);
    return FromWide(raw);
  }

  bool ReadBody(HINTERNET request, size_t sinkStart) {
    Bytes& target = sink_ ? *sink_ : body_;
    const size_t start = sink_ ? sinkStart : 0;
    for (;;) {
      DWORD available = 0;
      if (!WinHttpQueryDataAvailable(request, &available)) return false;
      if (available == 0) return true;
      const size_t at = target.size();
      if (sink_ && sinkLimit_ >= 0 && static_cast<int64_t>(at - start + available) > sinkLimit_)
        return false;  // a longer body than asked for is not worth receiving
      target.resize(at + available);
      DWORD read = 0;
      if (!WinHttpReadData(request, target.data() + at, available, &read)) return false;
      target.resize(at + read);
    }
  }

  std::wstring verb_, url_, proxy_, proxyUser_, proxyPassword_, serverUser_, serverPassword_;
  std::wstring headers_;
  std::array<int, 4> timeouts_ = {0, 60000, 30000, 30000};
  bool opened_ = false;
  bool followRedirects_ = true;
  Bytes body_;
  Bytes* sink_ = nullptr;
  int64_t sinkLimit_ = -1;
  Text responseHeaders_;
  int32_t status_ = 0;
};

}  // namespace

HttpRequestObjectRef CreateHttpRequestObject() { return std::make_shared<WinHttpRequestObject>(); }

}  // namespace tovak::platform
