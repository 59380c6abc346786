#pragma once
// The system's paths as Windows file names: GBK to UTF-16, backslashes kept. Drive D:, the home
// of the temporary tree, is used where it is a writable fixed disk; on a machine where D: is
// missing, removable, a disc or read-only, D:\ stands for
// %LOCALAPPDATA%\tovak-downloader\drive-d\ instead, so the same tree still has a home.
#include <string>

#include "text/text.h"

namespace tovak::platform {

std::wstring NativePath(const Text& path);

}  // namespace tovak::platform
