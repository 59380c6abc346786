#include "platform/mapped_region.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "platform/posix/file_space.h"
#include "platform/posix/native_path.h"

namespace tovak::platform {
namespace {

// A mapping on this platform is the file descriptor and the protection its views get.
struct Mapping {
  int fd;
  bool writable;
};

}  // namespace

// POSIX has no share modes: other openers are never refused.
NativeFile OpenFileForMapping(const Text& path, bool writable, FileCreation creation, FileSharing, bool randomAccess) {
  int flags = (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC;
  if (creation == FileCreation::CreateAlways) flags |= O_CREAT | O_TRUNC;
  if (creation == FileCreation::OpenAlways) flags |= O_CREAT;
  int fd = ::open(NativePath(path).c_str(), flags, 0666);
  if (fd < 0) return kInvalidFile;
  ::posix_fadvise(fd, 0, 0, randomAccess ? POSIX_FADV_RANDOM : POSIX_FADV_SEQUENTIAL);
  return fd;
}

bool CloseFile(NativeFile file) { return file != kInvalidFile && ::close(static_cast<int>(file)) == 0; }

bool GetFileLength(NativeFile file, int64_t& length) {
  struct stat info {};
  if (::fstat(static_cast<int>(file), &info) != 0) return false;
  length = info.st_size;
  return true;
}

bool SetFileLength(NativeFile file, int64_t length) {
  return length >= 0 && ::ftruncate(static_cast<int>(file), length) == 0;
}

namespace {

// A file's pages are copied from a mapped view by one write per window, which takes about two
// thirds of the time of the kernel's file-to-file copy (copy_file_range moves 64 KiB per step
// through a pipe) and keeps no copy in this process. The window bounds what is mapped at once.
constexpr int64_t kCopyWindow = 64LL << 20;

bool WriteAll(int target, const char* bytes, size_t length, int64_t offset) {
  for (size_t put = 0; put < length;) {
    ssize_t n = ::pwrite(target, bytes + put, length - put, offset + static_cast<int64_t>(put));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    put += static_cast<size_t>(n);
  }
  return true;
}

// The copy through memory, for a source that cannot be mapped.
bool CopyThroughBuffer(int source, int64_t sourceOffset, int target, int64_t offset, int64_t length) {
  std::vector<char> buffer(static_cast<size_t>(std::min<int64_t>(length, 1 << 20)));
  while (length > 0) {
    ssize_t got = ::pread(source, buffer.data(), static_cast<size_t>(std::min<int64_t>(length, buffer.size())), sourceOffset);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    if (!WriteAll(target, buffer.data(), static_cast<size_t>(got), offset)) return false;
    sourceOffset += got;
    offset += got;
    length -= got;
  }
  return true;
}

}  // namespace

bool CopyFromFile(const Text& sourcePath, int64_t length, NativeFile target, int64_t offset) {
  int source = ::open(NativePath(sourcePath).c_str(), O_RDONLY | O_CLOEXEC);
  if (source < 0) return false;
  const int out = static_cast<int>(target);
  ReserveFileSpace(out, offset, length);
  bool copied = true;
  for (int64_t from = 0; copied && from < length;) {
    const auto window = static_cast<size_t>(std::min(length - from, kCopyWindow));
    void* view = ::mmap(nullptr, window, PROT_READ, MAP_PRIVATE | MAP_POPULATE, source, from);
    if (view == MAP_FAILED) {
      copied = CopyThroughBuffer(source, from, out, offset + from, length - from);
      break;
    }
    // Only the kernel reads the view: a source shorter than its length fails the write (EFAULT)
    // rather than raising a bus error here.
    copied = WriteAll(out, static_cast<const char*>(view), window, offset + from);
    ::munmap(view, window);
    from += static_cast<int64_t>(window);
  }
  ::close(source);
  return copied;
}

MappingHandle CreateMapping(NativeFile file, bool writable) {
  int64_t length = 0;
  if (file == kInvalidFile || !GetFileLength(file, length) || length == 0) return 0;
  return reinterpret_cast<MappingHandle>(new Mapping{static_cast<int>(file), writable});
}

void CloseMapping(MappingHandle mapping) { delete reinterpret_cast<Mapping*>(mapping); }

void* MapView(MappingHandle handle, int64_t offset, size_t length) {
  auto* mapping = reinterpret_cast<Mapping*>(handle);
  if (!mapping || length == 0) return nullptr;
  int protection = PROT_READ | (mapping->writable ? PROT_WRITE : 0);
  void* base = ::mmap(nullptr, length, protection, MAP_SHARED, mapping->fd, offset);
  return base == MAP_FAILED ? nullptr : base;
}

bool UnmapView(void* base, size_t length) { return ::munmap(base, length) == 0; }

}  // namespace tovak::platform
