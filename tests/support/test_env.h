#pragma once
// Temporary directories (one standing in for drive D) and small file helpers.
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#ifdef _WIN32
#include <windows.h>

#include "platform/win32/native_path.h"
#endif

namespace tovak::testing {

// Sets (or with an empty value removes) a variable of the process's environment; `utf8` is the
// value as a user's shell would hold it.
inline void SetEnvironment(const char* name, const std::string& utf8) {
#ifdef _WIN32
  std::wstring wideName(name, name + std::strlen(name));
  std::wstring wide(utf8.size(), L'\0');
  wide.resize(static_cast<size_t>(
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), static_cast<int>(wide.size()))));
  SetEnvironmentVariableW(wideName.c_str(), utf8.empty() ? nullptr : wide.c_str());
#else
  if (utf8.empty()) {
    ::unsetenv(name);
  } else {
    ::setenv(name, utf8.c_str(), 1);
  }
#endif
}

// A directory of its own for one test, removed with everything in it.
class TempDirectory {
 public:
  TempDirectory() {
    std::random_device random;
    do {
      root_ = (std::filesystem::temp_directory_path() / ("tovak-test-" + std::to_string(random()))).string();
    } while (!std::filesystem::create_directory(root_));
  }
  ~TempDirectory() { Clear(root_, true); }
  TempDirectory(const TempDirectory&) = delete;
  TempDirectory& operator=(const TempDirectory&) = delete;
  // The native path of a file inside; `relative` is UTF-8.
  std::filesystem::path operator/(const std::string& relative) const {
    return std::filesystem::path(root_) / std::u8string(relative.begin(), relative.end());
  }
  const std::string& Root() const { return root_; }

 protected:
  explicit TempDirectory(std::string existingRoot) : root_(std::move(existingRoot)) { Clear(root_, false); }
  // Empties the directory, read-only entries included, and removes it too when asked.
  static void Clear(const std::filesystem::path& root, bool itself) {
    std::error_code ignored;
    for (auto& entry : std::filesystem::recursive_directory_iterator(root, ignored))
      std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                                   ignored);
    if (itself) {
      std::filesystem::remove_all(root, ignored);
      return;
    }
    for (auto& entry : std::filesystem::directory_iterator(root, ignored)) std::filesystem::remove_all(entry.path(), ignored);
  }

 private:
  std::string root_;
};

#ifdef _WIN32
// Drive D as the program sees it (a folder of the test prefix under Wine), emptied before and
// after each test; tests that use it run one program at a time.
class TempDrive : public TempDirectory {
 public:
  TempDrive() : TempDirectory(Utf16Path(platform::NativePath("D:\\"))) {}
  ~TempDrive() { Clear(Root(), false); }

 private:
  static std::string Utf16Path(const std::wstring& wide) { return std::filesystem::path(wide).string(); }
};
#else
// A temporary directory that stands in for drive D while it lives.
class TempDrive : public TempDirectory {
 public:
  TempDrive() { SetEnvironment("TOVAK_DRIVE_D", Root()); }
  ~TempDrive() { SetEnvironment("TOVAK_DRIVE_D", ""); }
};
#endif

inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

inline void WriteFile(const std::filesystem::path& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

inline std::string RandomBytes(size_t size, uint32_t seed = 7) {
  std::mt19937 generator(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(generator() & 0xFF);
  return bytes;
}

}  // namespace tovak::testing
