#pragma once
// A memory heap that a container can be moved to.
#include <cstddef>

namespace tovak::platform {

class Heap {
 public:
  virtual ~Heap() = default;
  virtual void* Allocate(size_t bytes) = 0;
  // Null on failure, with the old block still valid.
  virtual void* Reallocate(void* block, size_t bytes) = 0;
  virtual void Free(void* block) = 0;
};

Heap* ProcessHeap();

}  // namespace tovak::platform
