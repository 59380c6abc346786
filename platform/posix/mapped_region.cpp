#include "platform/mapped_region.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/native_path.h"

namespace tovak::platform {
namespace {

// A mapping on this platform is the file descriptor and the protection its views get.
struct Mapping {
  int fd;
  bool writable;
};

}  // namespace

NativeFile OpenFileForMapping(const Text& path, bool writable, FileCreation creation, bool randomAccess) {
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

void PrepareViewForWrite(void* address, size_t length) {
#ifdef MADV_POPULATE_WRITE
  const auto page = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
  const auto first = reinterpret_cast<uintptr_t>(address) & ~(page - 1);
  const auto end = reinterpret_cast<uintptr_t>(address) + length;
  // Older kernels refuse the advice; the write then faults its pages in as usual.
  ::madvise(reinterpret_cast<void*>(first), end - first, MADV_POPULATE_WRITE);
#else
  (void)address;
  (void)length;
#endif
}

}  // namespace tovak::platform
