// The request object over the WinHTTP functions. All objects share one session, so WinHTTP keeps
// the connections of finished requests and hands them to the next request for the same server:
// a worker's block requests travel over a connection that is already open. A body is read
// straight into the caller's sink and cut off at its limit. Each exchange runs whole when it is
// started: this object does not overlap exchanges.
#include <windows.h>
#include <winhttp.h>

#include <mutex>
#include <string>

#include "platform/request_object_base.h"
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
  void reset(HINTERNET handle) {
    if (handle_) WinHttpCloseHandle(handle_);
    handle_ = handle;
  }
  explicit operator bool() const { return handle_ != nullptr; }

 private:
  HINTERNET handle_;
};

// Redirects are followed here rather than by WinHTTP, so that where they led is known on every
// system (Wine's WINHTTP_OPTION_URL keeps naming the first address).
constexpr int kMostRedirects = 10;

bool IsRedirect(DWORD status) { return status == 301 || status == 302 || status == 303 || status == 307 || status == 308; }

// `location` of an answer from `base`, as an absolute address.
std::wstring ResolveAgainst(const std::wstring& base, const std::wstring& location) {
  if (location.find(L"://") != std::wstring::npos) return location;
  const size_t scheme = base.find(L"://");
  if (scheme == std::wstring::npos) return location;
  if (location.rfind(L"//", 0) == 0) return base.substr(0, scheme + 1) + location;
  const size_t pathStart = base.find(L'/', scheme + 3);
  const std::wstring origin = base.substr(0, pathStart);
  if (location.rfind(L"/", 0) == 0) return origin + location;
  std::wstring path = pathStart == std::wstring::npos ? L"/" : base.substr(pathStart, base.find_first_of(L"?#", pathStart) - pathStart);
  return origin + path.substr(0, path.rfind(L'/') + 1) + location;
}

class WinHttpRequestObject final : public RequestObjectBase {
 private:
  bool Exchange(const Bytes& body) override {
    std::wstring url = Wide(url_), verb = Wide(verb_);
    std::wstring headers;
    for (const auto& [name, value] : headers_) headers += Wide(name) + L": " + Wide(value) + L"\r\n";
    const Bytes noBody;
    const Bytes* sent = &body;
    for (int redirects = 0;; ++redirects) {
      Handle connection, request;
      DWORD status = 0;
      if (!Send(url, verb, headers, *sent, connection, request, status)) return false;
      std::wstring location = followRedirects_ && IsRedirect(status) && redirects < kMostRedirects
                                  ? HeaderText(request.get(), WINHTTP_QUERY_LOCATION) : L"";
      if (!location.empty()) {
        url = ResolveAgainst(url, location);
        // As browsers do: after 301, 302 and 303 the next request is a GET without a body.
        if (status != 307 && status != 308 && verb != L"HEAD") {
          verb = L"GET";
          sent = &noBody;
        }
        continue;
      }
      Text responseHeaders = RawHeaders(request.get());
      if (!ReadBody(request.get())) return false;
      status_ = static_cast<int32_t>(status);
      responseHeaders_ = std::move(responseHeaders);
      if (redirects > 0) responseUrl_ = FromWide(url);
      return true;
    }
  }

  bool Send(const std::wstring& url, const std::wstring& verb, const std::wstring& headers, const Bytes& body,
            Handle& connection, Handle& request, DWORD& status) {
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    if (!Session() || !WinHttpCrackUrl(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts)) return false;
    const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    const std::wstring path = std::wstring(parts.lpszUrlPath, parts.dwUrlPathLength) +
                              std::wstring(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    connection.reset(WinHttpConnect(Session(), host.c_str(), parts.nPort, 0));
    if (!connection) return false;
    const DWORD secure = parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0;
    request.reset(WinHttpOpenRequest(connection.get(), verb.c_str(), path.empty() ? L"/" : path.c_str(), nullptr,
                                     WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, secure));
    if (!request) return false;
    Configure(request.get());

    LPVOID data = body.empty() ? WINHTTP_NO_REQUEST_DATA : const_cast<char*>(body.data());
    const DWORD length = static_cast<DWORD>(body.size());
    if (!WinHttpSendRequest(request.get(), headers.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : headers.c_str(),
                            static_cast<DWORD>(-1L), data, length, length, 0) ||
        !WinHttpReceiveResponse(request.get(), nullptr))
      return false;
    DWORD size = sizeof status;
    return WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                               WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX);
  }

  static std::wstring HeaderText(HINTERNET request, DWORD header) {
    DWORD size = 0;
    WinHttpQueryHeaders(request, header, WINHTTP_HEADER_NAME_BY_INDEX, nullptr, &size, WINHTTP_NO_HEADER_INDEX);
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) return {};
    std::wstring value(size / sizeof(wchar_t), L'\0');
    if (!WinHttpQueryHeaders(request, header, WINHTTP_HEADER_NAME_BY_INDEX, value.data(), &size, WINHTTP_NO_HEADER_INDEX))
      return {};
    value.resize(size / sizeof(wchar_t));
    return value;
  }

  void Configure(HINTERNET request) {
    WinHttpSetTimeouts(request, timeouts_.resolveMs, timeouts_.connectMs, timeouts_.sendMs, timeouts_.receiveMs);
    // The wait for the answer's headers has a time-out of its own, which the call above leaves
    // at minutes (on Wine without limit): a server that never answers would hold the block.
    DWORD answerMs = static_cast<DWORD>(timeouts_.receiveMs);
    WinHttpSetOption(request, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &answerMs, sizeof answerMs);
    if (!proxy_.empty()) {
      std::wstring proxy = Wide(proxy_);
      WINHTTP_PROXY_INFO info{WINHTTP_ACCESS_TYPE_NAMED_PROXY, proxy.data(), nullptr};
      WinHttpSetOption(request, WINHTTP_OPTION_PROXY, &info, sizeof info);
    }
    DWORD ownRedirects = WINHTTP_DISABLE_REDIRECTS;
    WinHttpSetOption(request, WINHTTP_OPTION_DISABLE_FEATURE, &ownRedirects, sizeof ownRedirects);
    SetText(request, WINHTTP_OPTION_PROXY_USERNAME, proxyUser_);
    SetText(request, WINHTTP_OPTION_PROXY_PASSWORD, proxyPassword_);
    SetText(request, WINHTTP_OPTION_USERNAME, serverUser_);
    SetText(request, WINHTTP_OPTION_PASSWORD, serverPassword_);
  }

  static void SetText(HINTERNET request, DWORD option, const Text& text) {
    std::wstring value = Wide(text);
    if (!value.empty()) WinHttpSetOption(request, option, value.data(), static_cast<DWORD>(value.size()));
  }

  // The header lines as the Linux object gives them: without the status line.
  static Text RawHeaders(HINTERNET request) {
    std::wstring raw = HeaderText(request, WINHTTP_QUERY_RAW_HEADERS_CRLF);
    size_t firstLine = raw.find(L"\r\n");
    raw.erase(0, firstLine == std::wstring::npos ? raw.size() : firstLine + 2);
    if (raw.size() >= 4 && raw.compare(raw.size() - 4, 4, L"\r\n\r\n") == 0) raw.resize(raw.size() - 2);
    return FromWide(raw);
  }

  bool ReadBody(HINTERNET request) {
    Bytes& target = sink_ ? *sink_ : body_;
    for (;;) {
      DWORD available = 0;
      if (!WinHttpQueryDataAvailable(request, &available)) return false;
      if (available == 0) return true;
      const size_t at = target.size();
      if (!WithinLimit(at - sinkStart_, available)) return false;  // a longer body than asked for is not worth receiving
      target.resize(at + available);
      DWORD read = 0;
      if (!WinHttpReadData(request, target.data() + at, available, &read)) return false;
      target.resize(at + read);
    }
  }

};

}  // namespace

HttpRequestObjectRef CreateHttpRequestObject() { return std::make_shared<WinHttpRequestObject>(); }

}  // namespace tovak::platform
