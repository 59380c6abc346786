#pragma once
// INI files: sections in brackets, one key=value line each.
#include "text/text.h"

namespace tovak::platform {

// The value, or the empty text when the file, section or key is missing.
Text ReadProfileText(const Text& section, const Text& key, const Text& path);
// Replaces or adds the key, creating the section and the file as needed.
bool WriteProfileText(const Text& section, const Text& key, const Text& value, const Text& path);

}  // namespace tovak::platform
