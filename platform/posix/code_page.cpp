#include "platform/code_page.h"

#include <iconv.h>

#include <cerrno>

namespace tovak::platform {
namespace {

// Converts with iconv; an input sequence that the target cannot take becomes `replacement`
// (already in the target encoding) and the conversion goes on after it.
std::string Convert(const char* to, const char* from, const std::string& input, const std::string& replacement,
                    size_t inputUnit) {
  std::string output;
  if (input.empty()) return output;
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return output;
  char* in = const_cast<char*>(input.data());
  size_t inLeft = input.size();
  std::string buffer(input.size() * 4 + 16, '\0');
  while (inLeft > 0) {
    char* out = buffer.data();
    size_t outLeft = buffer.size();
    size_t rc = iconv(cd, &in, &inLeft, &out, &outLeft);
    output.append(buffer.data(), buffer.size() - outLeft);
    if (rc != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) continue;
    // EILSEQ or EINVAL: skip one input character.
    size_t skip = inputUnit;
    unsigned char lead = static_cast<unsigned char>(*in);
    if (std::string(from) == "UTF-8") {
      skip = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    } else if (inputUnit == 1 && inLeft >= 2 && lead >= 0x81) {
      skip = 2;
    }
    if (skip > inLeft) skip = inLeft;
    in += skip;
    inLeft -= skip;
    output += replacement;
  }
  iconv_close(cd);
  return output;
}

}  // namespace

std::string GbkToUtf8(const Text& text) { return Convert("UTF-8", "GBK", text, "?", 1); }

Text Utf8ToGbk(const std::string& utf8) { return Convert("GBK", "UTF-8", utf8, "?", 1); }

std::u16string GbkToUtf16(const Text& text) {
  std::string bytes = Convert("UTF-16LE", "GBK", text, std::string("?\0", 2), 1);
  std::u16string result(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < result.size(); ++i)
    result[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                      (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
  return result;
}

Text Utf16ToGbk(const std::u16string& utf16) {
  std::string bytes;
  bytes.reserve(utf16.size() * 2);
  for (char16_t unit : utf16) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return Convert("GBK", "UTF-16LE", bytes, "?", 2);
}

}  // namespace tovak::platform
