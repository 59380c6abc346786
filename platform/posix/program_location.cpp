#include "platform/program_location.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "platform/code_page.h"
#include "text/text_ops.h"

namespace tovak::platform {

const char kDirectorySeparator = '/';

Text ProgramDirectory() {
  char buffer[4096];
  ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return ".";
  std::string path(buffer, static_cast<size_t>(n));
  size_t slash = path.rfind('/');
  return Utf8ToGbk(slash == 0 ? "/" : path.substr(0, slash));
}

bool IsWritableDirectory(const Text& path) { return ::access(GbkToUtf8(path).c_str(), W_OK | X_OK) == 0; }

Text EnvironmentText(const char* name) {
  const char* value = std::getenv(name);
  return value ? Utf8ToGbk(value) : Text{};
}

Text UserDownloadDirectory() {
  std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
  std::string config = std::getenv("XDG_CONFIG_HOME") ? std::getenv("XDG_CONFIG_HOME") : home + "/.config";
  std::ifstream dirs(config + "/user-dirs.dirs");
  for (std::string line; std::getline(dirs, line);) {
    const std::string key = "XDG_DOWNLOAD_DIR=\"";
    if (line.rfind(key, 0) != 0 || line.back() != '"') continue;
    std::string value = line.substr(key.size(), line.size() - key.size() - 1);
    if (value.rfind("$HOME", 0) == 0) value = home + value.substr(5);
    return Utf8ToGbk(value);
  }
  return Utf8ToGbk(home + "/Downloads");
}

}  // namespace tovak::platform
