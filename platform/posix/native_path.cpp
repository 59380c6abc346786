#include "platform/posix/native_path.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "platform/code_page.h"

namespace tovak::platform {
namespace {

std::string DriveRoot(char letter) {
  char upper = static_cast<char>(letter >= 'a' ? letter - 'a' + 'A' : letter);
  char lower = static_cast<char>(upper - 'A' + 'a');
  std::string variable = std::string("TOVAK_DRIVE_") + upper;
  std::string root;
  if (const char* value = std::getenv(variable.c_str()); value && *value) {
    root = value;
  } else {
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    if (dataHome && *dataHome) {
      root = dataHome;
    } else {
      const char* home = std::getenv("HOME");
      root = std::string(home ? home : "") + "/.local/share";
    }
    root += std::string("/tovak-downloader/drive-") + lower;
  }
  std::error_code ignored;
  std::filesystem::create_directories(root, ignored);
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  return root;
}

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

}  // namespace

std::string NativePath(const Text& path) {
  std::string utf8 = GbkToUtf8(path);
  for (char& c : utf8)
    if (c == '\\') c = '/';
  if (utf8.size() >= 2 && IsAsciiLetter(utf8[0]) && utf8[1] == ':') {
    std::string rest = utf8.substr(2);
    if (!rest.empty() && rest[0] != '/') rest = "/" + rest;
    return DriveRoot(utf8[0]) + rest;
  }
  return utf8;
}

}  // namespace tovak::platform
