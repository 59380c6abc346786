#pragma once
// The text of an INI file, as the Windows private-profile calls read and write it: section
// headers in brackets, key=value lines, names compared without case, values trimmed.
#include "text/text.h"

namespace tovak::platform {

// The value of the first matching key, or the empty text.
Text IniValue(const Text& content, const Text& section, const Text& key);
// The content with the key replaced, or added at the end of its section (created at the end).
Text WithIniValue(const Text& content, const Text& section, const Text& key, const Text& value);

}  // namespace tovak::platform
