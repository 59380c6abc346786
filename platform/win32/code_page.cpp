// Code page 936 through MultiByteToWideChar and WideCharToMultiByte.
#include <windows.h>

#include "platform/code_page.h"
#include "platform/win32/wide_text.h"

namespace tovak::platform {
namespace {

constexpr UINT kGbk = 936;

std::wstring ToWide(UINT codePage, const std::string& bytes) {
  if (bytes.empty()) return {};
  int length = MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length > 0 ? length : 0), L'\0');
  if (length > 0) MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), wide.data(), length);
  return wide;
}

std::string FromWideIn(UINT codePage, const wchar_t* wide, size_t size) {
  if (size == 0) return {};
  // UTF-8 takes no default character; code page 936 writes '?' for what it cannot hold.
  const char* fallback = codePage == CP_UTF8 ? nullptr : "?";
  int length = WideCharToMultiByte(codePage, 0, wide, static_cast<int>(size), nullptr, 0, fallback, nullptr);
  std::string bytes(static_cast<size_t>(length > 0 ? length : 0), '\0');
  if (length > 0) WideCharToMultiByte(codePage, 0, wide, static_cast<int>(size), bytes.data(), length, fallback, nullptr);
  return bytes;
}

// Code page 936 has no character beyond the first plane: such a character, two UTF-16 units,
// becomes one '?' rather than two.
Text ToGbk(const wchar_t* wide, size_t length) {
  std::wstring units(wide, length);
  size_t out = 0;
  for (size_t i = 0; i < units.size(); ++i, ++out) {
    const bool pair = IS_HIGH_SURROGATE(units[i]) && i + 1 < units.size() && IS_LOW_SURROGATE(units[i + 1]);
    units[out] = pair ? L'?' : units[i];
    if (pair) ++i;
  }
  units.resize(out);
  return FromWideIn(kGbk, units.data(), units.size());
}

}  // namespace

std::wstring Wide(const Text& text) { return ToWide(kGbk, text); }
Text FromWide(const std::wstring& wide) { return ToGbk(wide.data(), wide.size()); }
Text FromWide(const wchar_t* wide, size_t length) { return ToGbk(wide, length); }

std::string GbkToUtf8(const Text& text) {
  std::wstring wide = Wide(text);
  return FromWideIn(CP_UTF8, wide.data(), wide.size());
}

Text Utf8ToGbk(const std::string& utf8) { return FromWide(ToWide(CP_UTF8, utf8)); }

std::u16string GbkToUtf16(const Text& text) {
  std::wstring wide = Wide(text);
  return std::u16string(wide.begin(), wide.end());
}

Text Utf16ToGbk(const std::u16string& utf16) {
  std::wstring wide(utf16.begin(), utf16.end());
  return FromWide(wide);
}

}  // namespace tovak::platform
