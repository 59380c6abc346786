#include "platform/mapped_region.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

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

// The copy through memory, for file systems and kernels that cannot copy between files.
bool CopyThroughBuffer(int source, int64_t sourceOffset, int target, int64_t offset, int64_t length) {
  std::vector<char> buffer(static_cast<size_t>(std::min<int64_t>(length, 1 << 20)));
  while (length > 0) {
    ssize_t got = ::pread(source, buffer.data(), static_cast<size_t>(std::min<int64_t>(length, buffer.size())), sourceOffset);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    for (ssize_t put = 0; put < got;) {
      ssize_t n = ::pwrite(target, buffer.data() + put, static_cast<size_t>(got - put), offset + put);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      put += n;
    }
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
  loff_t from = 0, to = offset;
  bool copied = true;
  while (from < length) {
    ssize_t n = ::copy_file_range(source, &from, out, &to, static_cast<size_t>(length - from), 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)) {
      copied = CopyThroughBuffer(source, from, out, to, length - from);
      break;
    }
    if (n <= 0) {
      copied = false;
      break;
    }
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
