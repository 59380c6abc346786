#pragma once
// The system's paths are GBK texts with drive letters and backslashes. A native path is UTF-8,
// uses "/", and maps a drive "X:" to that drive's root directory: $TOVAK_DRIVE_X when set, else
// ${XDG_DATA_HOME:-$HOME/.local/share}/tovak-downloader/drive-x, created on demand.
#include <string>

#include "text/text.h"

namespace tovak::platform {

std::string NativePath(const Text& path);

}  // namespace tovak::platform
