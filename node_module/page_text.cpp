#include "node_module/page_text.h"

#include <algorithm>
#include <cwchar>

namespace tovak::node {
namespace {

constexpr unsigned kUtf8 = 65001, kUtf16Le = 1200, kUtf16Be = 1201, kGbk = 936;
// The part of a page in which a browser looks for a <meta> declaration.
constexpr size_t kPrescanBytes = 1024;

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string LowerAscii(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](char c) { return LowerAscii(c); });
  return text;
}

// The name after "charset=" in `text` from `from` on, without quotes; empty when there is none.
std::string CharsetAfter(const std::string& lowerText, size_t from = 0) {
  size_t at = lowerText.find("charset", from);
  if (at == std::string::npos) return {};
  at += 7;
  while (at < lowerText.size() && (lowerText[at] == ' ' || lowerText[at] == '\t')) ++at;
  if (at >= lowerText.size() || lowerText[at] != '=') return CharsetAfter(lowerText, at);
  ++at;
  while (at < lowerText.size() && (lowerText[at] == ' ' || lowerText[at] == '"' || lowerText[at] == '\'')) ++at;
  size_t end = lowerText.find_first_of(" \t\r\n;\"'>/", at);
  return lowerText.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

std::string MetaCharset(const std::string& body) {
  std::string start = LowerAscii(body.substr(0, kPrescanBytes));
  for (size_t meta = start.find("<meta"); meta != std::string::npos; meta = start.find("<meta", meta + 5)) {
    size_t close = start.find('>', meta);
    std::string tag = start.substr(meta, close == std::string::npos ? std::string::npos : close - meta);
    std::string name = CharsetAfter(tag);
    if (!name.empty()) return name;
  }
  return {};
}

bool IsValidUtf8(const std::string& bytes) {
  size_t i = 0;
  while (i < bytes.size()) {
    auto lead = static_cast<unsigned char>(bytes[i]);
    size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
    if (length == 0 || i + length > bytes.size()) return false;
    for (size_t k = 1; k < length; ++k)
      if ((static_cast<unsigned char>(bytes[i + k]) >> 6) != 0x2) return false;
    i += length;
  }
  return true;
}

bool IsHtmlSpace(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\n' || c == L'\r' || c == L'\f'; }

std::wstring LowerAscii(const std::wstring& text) {
  std::wstring lower = text;
  for (wchar_t& c : lower)
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  return lower;
}

void AppendCodePoint(std::wstring& out, unsigned long value) {
  if (value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) value = 0xFFFD;
  if (value < 0x10000) {
    out += static_cast<wchar_t>(value);
  } else {
    value -= 0x10000;
    out += static_cast<wchar_t>(0xD800 + (value >> 10));
    out += static_cast<wchar_t>(0xDC00 + (value & 0x3FF));
  }
}

// The few named references a title uses, and every numeric one; anything else stays as written.
std::wstring DecodeReferences(const std::wstring& text) {
  static const struct { const wchar_t* name; wchar_t value; } kNamed[] = {
      {L"amp", L'&'}, {L"lt", L'<'}, {L"gt", L'>'}, {L"quot", L'"'}, {L"apos", L'\''}, {L"nbsp", 0xA0}};
  std::wstring out;
  for (size_t i = 0; i < text.size(); ++i) {
    size_t end = text[i] == L'&' ? text.find(L';', i) : std::wstring::npos;
    if (end == std::wstring::npos || end - i > 10) {
      out += text[i];
      continue;
    }
    std::wstring name = text.substr(i + 1, end - i - 1);
    bool decoded = false;
    if (name.size() > 1 && name[0] == L'#') {
      bool hex = name[1] == L'x' || name[1] == L'X';
      std::wstring digits = name.substr(hex ? 2 : 1);
      wchar_t* stop = nullptr;
      unsigned long value = digits.empty() ? 0 : std::wcstoul(digits.c_str(), &stop, hex ? 16 : 10);
      if (!digits.empty() && *stop == L'\0') {
        AppendCodePoint(out, value);
        decoded = true;
      }
    } else {
      for (const auto& named : kNamed) {
        if (name == named.name) {
          out += named.value;
          decoded = true;
        }
      }
    }
    if (decoded) i = end;
    else out += text[i];
  }
  return out;
}

}  // namespace

unsigned CodePageOfCharset(std::string name) {
  name = LowerAscii(name);
  static const struct { const char* name; unsigned codePage; } kCharsets[] = {
      {"utf-8", kUtf8}, {"utf8", kUtf8}, {"gbk", kGbk}, {"gb2312", kGbk}, {"x-gbk", kGbk}, {"cp936", kGbk},
      {"gb18030", 54936}, {"big5", 950}, {"shift_jis", 932}, {"euc-jp", 20932}, {"euc-kr", 949},
      {"iso-8859-1", 1252}, {"latin1", 1252}, {"windows-1252", 1252}, {"us-ascii", 1252},
      {"utf-16", kUtf16Le}, {"utf-16le", kUtf16Le}, {"utf-16be", kUtf16Be}};
  for (const auto& charset : kCharsets)
    if (name == charset.name) return charset.codePage;
  return 0;
}

unsigned CodePageOfPage(const std::string& contentType, const std::string& body) {
  if (body.rfind("\xEF\xBB\xBF", 0) == 0) return kUtf8;
  if (body.rfind("\xFF\xFE", 0) == 0) return kUtf16Le;
  if (body.rfind("\xFE\xFF", 0) == 0) return kUtf16Be;
  if (unsigned codePage = CodePageOfCharset(CharsetAfter(LowerAscii(contentType)))) return codePage;
  // A page that is itself ASCII bytes cannot really be UTF-16, whatever it declares.
  unsigned declared = CodePageOfCharset(MetaCharset(body));
  if (declared == kUtf16Le || declared == kUtf16Be) declared = kUtf8;
  if (declared) return declared;
  return IsValidUtf8(body) ? kUtf8 : kGbk;
}

std::optional<std::wstring> TitleOf(const std::wstring& document) {
  std::wstring lower = LowerAscii(document);
  size_t open = lower.find(L"<title");
  while (open != std::wstring::npos && open + 6 < lower.size() && lower[open + 6] != L'>' && !IsHtmlSpace(lower[open + 6]))
    open = lower.find(L"<title", open + 6);  // <titles> or the like is another element
  if (open == std::wstring::npos) return std::nullopt;
  size_t start = lower.find(L'>', open);
  if (start == std::wstring::npos) return std::nullopt;
  ++start;
  size_t end = lower.find(L"</title", start);
  std::wstring raw = DecodeReferences(document.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start));
  std::wstring title;
  for (wchar_t c : raw) {
    if (IsHtmlSpace(c)) {
      if (!title.empty() && title.back() != L' ') title += L' ';
    } else {
      title += c;
    }
  }
  if (!title.empty() && title.back() == L' ') title.pop_back();
  return title;
}

}  // namespace tovak::node
