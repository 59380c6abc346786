#include "platform/file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/code_page.h"
#include "platform/posix/file_space.h"
#include "platform/posix/native_path.h"

namespace tovak::platform {

EntryKind KindOf(const Text& path) {
  if (path.empty()) return EntryKind::Missing;
  struct stat info {};
  if (::stat(NativePath(path).c_str(), &info) != 0) return EntryKind::Missing;
  return S_ISDIR(info.st_mode) ? EntryKind::Directory : EntryKind::File;
}

bool MakeDirectory(const Text& path) { return ::mkdir(NativePath(path).c_str(), 0777) == 0; }

bool RemoveEmptyDirectory(const Text& path) { return ::rmdir(NativePath(path).c_str()) == 0; }

bool DeleteFileEntry(const Text& path) {
  std::string native = NativePath(path);
  struct stat info {};
  if (::lstat(native.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) return false;
  // A read-only file refuses deletion, as on the desktop systems whose semantics the core expects.
  if (!S_ISLNK(info.st_mode) && (info.st_mode & S_IWUSR) == 0) return false;
  return ::unlink(native.c_str()) == 0;
}

bool ListDirectory(const Text& path, std::vector<DirectoryEntry>& entries) {
  std::string native = NativePath(path);
  DIR* dir = ::opendir(native.c_str());
  if (!dir) return false;
  if (native.empty() || native.back() != '/') native += '/';
  while (dirent* item = ::readdir(dir)) {
    std::string name = item->d_name;
    if (name == "." || name == "..") continue;
    struct stat info {};
    DirectoryEntry entry;
    entry.name = Utf8ToGbk(name);
    if (::lstat((native + name).c_str(), &info) == 0) {
      entry.isDirectory = S_ISDIR(info.st_mode);
      entry.isReadOnly = !S_ISLNK(info.st_mode) && (info.st_mode & S_IWUSR) == 0;
    }
    entries.push_back(std::move(entry));
  }
  ::closedir(dir);
  return true;
}

bool ClearReadOnly(const Text& path) {
  std::string native = NativePath(path);
  struct stat info {};
  if (::stat(native.c_str(), &info) != 0) return false;
  return ::chmod(native.c_str(), (info.st_mode & 07777) | S_IWUSR) == 0;
}

bool SetReadOnly(const Text& path) {
  std::string native = NativePath(path);
  struct stat info {};
  if (::stat(native.c_str(), &info) != 0) return false;
  return ::chmod(native.c_str(), (info.st_mode & 07777) & ~(S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

Bytes ReadWholeFile(const Text& path) {
  Bytes data;
  int fd = ::open(NativePath(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return data;
  struct stat info {};
  // Straight into the result: the joins read every downloaded byte this way.
  if (::fstat(fd, &info) == 0 && info.st_size > 0) data.resize(static_cast<size_t>(info.st_size));
  size_t got = 0;
  bool failed = false;
  while (got < data.size()) {
    ssize_t n = ::read(fd, data.data() + got, data.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      failed = n < 0;
      break;
    }
    got += static_cast<size_t>(n);
  }
  data.resize(got);
  char more[1 << 16];  // whatever the file gained after it was measured
  while (!failed) {
    ssize_t n = ::read(fd, more, sizeof more);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      failed = n < 0;
      break;
    }
    data.append(more, static_cast<size_t>(n));
  }
  ::close(fd);
  if (failed) data.clear();
  return data;
}

bool WriteWholeFile(const Text& path, const Bytes& data) {
  int fd = ::open(NativePath(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  ReserveFileSpace(fd, 0, static_cast<int64_t>(data.size()));
  size_t written = 0;
  while (written < data.size()) {
    ssize_t n = ::write(fd, data.data() + written, data.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    written += static_cast<size_t>(n);
  }
  bool ok = ::close(fd) == 0 && written == data.size();
  return ok;
}

int64_t FileLength(const Text& path) {
  struct stat info {};
  if (::stat(NativePath(path).c_str(), &info) != 0 || S_ISDIR(info.st_mode)) return -1;
  return info.st_size;
}

bool RenameFile(const Text& from, const Text& to) {
  return ::rename(NativePath(from).c_str(), NativePath(to).c_str()) == 0;
}

bool CanReplaceFile(const Text& path) {
  struct stat info {};
  // Read-only as the other file functions take it: no write permission for its owner.
  return ::stat(NativePath(path).c_str(), &info) == 0 && !S_ISDIR(info.st_mode) && (info.st_mode & S_IWUSR) != 0;
}

int64_t FreeSpace(const Text& directory) {
  struct statvfs info {};
  if (::statvfs(directory.empty() ? "." : NativePath(directory).c_str(), &info) != 0) return -1;
  return static_cast<int64_t>(info.f_bavail) * static_cast<int64_t>(info.f_frsize);
}

}  // namespace tovak::platform
