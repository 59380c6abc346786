#pragma once
// Temporary directories (one standing in for drive D) and small file helpers.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

namespace tovak::testing {

// A directory of its own for one test, removed with everything in it.
class TempDirectory {
 public:
  TempDirectory() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tovak-test-XXXXXX").string();
    root_ = ::mkdtemp(pattern.data());
  }
  ~TempDirectory() {
    std::error_code ignored;
    std::filesystem::permissions(root_, std::filesystem::perms::owner_all, ignored);
    std::filesystem::remove_all(root_, ignored);
  }
  TempDirectory(const TempDirectory&) = delete;
  TempDirectory& operator=(const TempDirectory&) = delete;
  // The native path of a file inside.
  std::filesystem::path operator/(const std::string& relative) const { return std::filesystem::path(root_) / relative; }
  const std::string& Root() const { return root_; }

 private:
  std::string root_;
};

// A temporary directory that stands in for drive D while it lives.
class TempDrive : public TempDirectory {
 public:
  TempDrive() { ::setenv("TOVAK_DRIVE_D", Root().c_str(), 1); }
  ~TempDrive() { ::unsetenv("TOVAK_DRIVE_D"); }
};

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
