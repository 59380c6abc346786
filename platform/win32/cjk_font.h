#pragma once
// A user-interface font that has Chinese glyphs: the first CJK family that the system has, the
// Windows ones first. DEFAULT_GUI_FONT is no such font everywhere (under Wine every character
// of it is a box).
#include <windows.h>

namespace tovak::platform {

// The caller owns the font (DeleteObject); the stock GUI font when no CJK family exists.
HFONT CreateCjkFont(int pixelHeight);

}  // namespace tovak::platform
