#include "platform/ini_profile.h"

#include "platform/file_system.h"
#include "platform/posix/ini_text.h"

namespace tovak::platform {

Text ReadProfileText(const Text& section, const Text& key, const Text& path) {
  return IniValue(ReadWholeFile(path), section, key);
}

bool WriteProfileText(const Text& section, const Text& key, const Text& value, const Text& path) {
  return WriteWholeFile(path, WithIniValue(ReadWholeFile(path), section, key, value));
}

}  // namespace tovak::platform
