#pragma once
// Space reserved ahead of a write of known length: ext4 then skips its reservation per page of
// delayed allocation, and a write of many MiB takes about two thirds of the time. The file's
// length still grows only with what is written; a file system that cannot reserve just writes.
#include <fcntl.h>

#include <cstdint>

namespace tovak::platform {

inline void ReserveFileSpace(int fd, int64_t offset, int64_t length) {
  if (length > 0) ::fallocate(fd, FALLOC_FL_KEEP_SIZE, offset, length);
}

}  // namespace tovak::platform
