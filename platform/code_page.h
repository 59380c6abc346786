#pragma once
// Conversion between the system's GBK texts and the encodings of the platform's interfaces.
// A character that the target cannot represent becomes '?'.
#include <string>

#include "text/text.h"

namespace tovak::platform {

std::string GbkToUtf8(const Text& text);
Text Utf8ToGbk(const std::string& utf8);
std::u16string GbkToUtf16(const Text& text);
Text Utf16ToGbk(const std::u16string& utf16);

}  // namespace tovak::platform
