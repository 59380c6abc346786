#pragma once
// What the engine module reads from a fetched page: its character set, its text, its title.
#include <optional>
#include <string>

namespace tovak::node {

// The Windows code page of a character-set name ("utf-8", "GB2312", "big5", ...); 0 when unknown.
unsigned CodePageOfCharset(std::string name);

// The page's code page, as a browser decides it: a byte-order mark, else the charset of the
// Content-Type header, else a <meta> declaration near the start, else UTF-8 when the bytes are
// valid UTF-8, else code page 936.
unsigned CodePageOfPage(const std::string& contentType, const std::string& body);

// The text of the page's first <title> element, with its entities decoded and its white space
// collapsed and trimmed as a browser does; nothing when the page has no title element.
std::optional<std::wstring> TitleOf(const std::wstring& document);

}  // namespace tovak::node
