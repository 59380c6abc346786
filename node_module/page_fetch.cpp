#include "node_module/page_fetch.h"

#include <windows.h>
#include <winhttp.h>

#include <memory>

#include "node_module/page_text.h"

namespace tovak::node {
namespace {

// More than any page needs for its title; a larger answer is cut off here.
constexpr size_t kBodyLimit = 8u << 20;
constexpr int kTimeoutMs = 30000;

struct InternetHandle {
  explicit InternetHandle(HINTERNET handle) : handle(handle) {}
  ~InternetHandle() {
    if (handle) WinHttpCloseHandle(handle);
  }
  HINTERNET handle;
};

HINTERNET Session() {
  // One session for the process: its connections are kept between loads.
  static HINTERNET session = [] {
    HINTERNET opened = WinHttpOpen(L"Mozilla/5.0 (Windows NT 10.0; Win64; x64) TovakNode/1.0",
                                   WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                                   WINHTTP_NO_PROXY_BYPASS, 0);
    if (opened) WinHttpSetTimeouts(opened, kTimeoutMs, kTimeoutMs, kTimeoutMs, kTimeoutMs);
    return opened;
  }();
  return session;
}

std::wstring SystemMessage(DWORD error) {
  wchar_t* buffer = nullptr;
  DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                    FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS,
                                GetModuleHandleW(L"winhttp.dll"), error, 0, reinterpret_cast<wchar_t*>(&buffer), 0,
                                nullptr);
  std::wstring text = length ? std::wstring(buffer, length) : L"";
  LocalFree(buffer);
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ')) text.pop_back();
  return L"error " + std::to_wstring(error) + (text.empty() ? L"" : L": " + text);
}

std::wstring QueryText(HINTERNET request, DWORD what) {
  DWORD bytes = 0;
  WinHttpQueryHeaders(request, what, WINHTTP_HEADER_NAME_BY_INDEX, nullptr, &bytes, WINHTTP_NO_HEADER_INDEX);
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || bytes == 0) return {};
  std::wstring value(bytes / sizeof(wchar_t), L'\0');
  if (!WinHttpQueryHeaders(request, what, WINHTTP_HEADER_NAME_BY_INDEX, value.data(), &bytes, WINHTTP_NO_HEADER_INDEX))
    return {};
  value.resize(bytes / sizeof(wchar_t));
  return value;
}

std::string Narrow(const std::wstring& ascii) { return std::string(ascii.begin(), ascii.end()); }

}  // namespace

std::wstring DecodeText(const std::string& body, unsigned codePage) {
  if (codePage == 1200 || codePage == 1201) {
    std::wstring text;
    for (size_t i = 0; i + 1 < body.size(); i += 2) {
      auto first = static_cast<unsigned char>(body[i]), second = static_cast<unsigned char>(body[i + 1]);
      text += static_cast<wchar_t>(codePage == 1200 ? first | second << 8 : first << 8 | second);
    }
    if (!text.empty() && text.front() == 0xFEFF) text.erase(0, 1);
    return text;
  }
  if (body.empty()) return {};
  int length = MultiByteToWideChar(codePage, 0, body.data(), static_cast<int>(body.size()), nullptr, 0);
  if (length <= 0) return std::wstring(body.begin(), body.end());  // a code page the system lacks
  std::wstring text(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(codePage, 0, body.data(), static_cast<int>(body.size()), text.data(), length);
  if (!text.empty() && text.front() == 0xFEFF) text.erase(0, 1);
  return text;
}

FetchedPage FetchPage(const std::wstring& url) {
  FetchedPage page;
  page.url = url;
  auto fail = [&](DWORD error) {
    page.failure = SystemMessage(error);
    return page;
  };
  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof parts;
  wchar_t host[256] = {};
  parts.lpszHostName = host;
  parts.dwHostNameLength = ARRAYSIZE(host);
  parts.dwUrlPathLength = static_cast<DWORD>(-1);
  parts.dwExtraInfoLength = static_cast<DWORD>(-1);
  if (!WinHttpCrackUrl(url.c_str(), 0, 0, &parts)) return fail(GetLastError());
  std::wstring path(parts.lpszUrlPath, parts.dwUrlPathLength);
  path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  if (path.empty()) path = L"/";

  if (!Session()) return fail(GetLastError());
  InternetHandle connection(WinHttpConnect(Session(), host, parts.nPort, 0));
  if (!connection.handle) return fail(GetLastError());
  DWORD secure = parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0;
  InternetHandle request(WinHttpOpenRequest(connection.handle, L"GET", path.c_str(), nullptr, WINHTTP_NO_REFERER,
                                            WINHTTP_DEFAULT_ACCEPT_TYPES, secure));
  if (!request.handle) return fail(GetLastError());
  const wchar_t* accept = L"Accept: text/html,application/xhtml+xml;q=0.9,*/*;q=0.8\r\n";
  if (!WinHttpSendRequest(request.handle, accept, static_cast<DWORD>(-1L), WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
      !WinHttpReceiveResponse(request.handle, nullptr))
    return fail(GetLastError());

  DWORD length = 0;
  WinHttpQueryOption(request.handle, WINHTTP_OPTION_URL, nullptr, &length);
  if (length) {
    std::wstring finalUrl(length / sizeof(wchar_t), L'\0');
    if (WinHttpQueryOption(request.handle, WINHTTP_OPTION_URL, finalUrl.data(), &length)) {
      finalUrl.resize(length / sizeof(wchar_t));
      while (!finalUrl.empty() && finalUrl.back() == L'\0') finalUrl.pop_back();
      page.url = finalUrl;
    }
  }
  std::string body;
  for (;;) {
    char buffer[16384];
    DWORD read = 0;
    if (!WinHttpReadData(request.handle, buffer, sizeof buffer, &read)) return fail(GetLastError());
    if (read == 0) break;
    body.append(buffer, read);
    if (body.size() >= kBodyLimit) break;
  }
  // A page that the server answers with an error status is still a page (a browser shows it).
  page.document = DecodeText(body, CodePageOfPage(Narrow(QueryText(request.handle, WINHTTP_QUERY_CONTENT_TYPE)), body));
  page.succeeded = true;
  return page;
}

}  // namespace tovak::node
