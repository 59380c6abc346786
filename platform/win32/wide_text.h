#pragma once
// The system's GBK texts in and out of the wide-character Windows calls. Code page 936 is named
// outright: the A functions would use the machine's ANSI code page, which is 936 only on a
// Chinese Windows.
#include <string>

#include "text/text.h"

namespace tovak::platform {

std::wstring Wide(const Text& text);
Text FromWide(const std::wstring& wide);
Text FromWide(const wchar_t* wide, size_t length);

}  // namespace tovak::platform
