#pragma once
// One page fetched with WinHTTP: redirects followed, certificates checked, the body decoded by
// its character set.
#include <string>

namespace tovak::node {

struct FetchedPage {
  bool succeeded = false;
  std::wstring url;       // where the redirects led
  std::wstring document;  // the decoded body
  std::wstring failure;   // why it failed, when it did
};

// Blocks until the page has arrived or failed; callable from any thread.
FetchedPage FetchPage(const std::wstring& url);

// `body` as UTF-16, read in `codePage` (1200 and 1201 are UTF-16 little and big endian).
std::wstring DecodeText(const std::string& body, unsigned codePage);

}  // namespace tovak::node
