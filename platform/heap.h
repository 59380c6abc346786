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

// Asks for a large block that will be filled soon to be backed by large pages, which costs one
// page fault where small pages cost hundreds. Only a hint.
void PreferLargePages(void* block, size_t bytes);

// Gives the memory that the allocator holds free back to the system, and has big blocks freed
// later go back at once: the buffers of many threads would otherwise end up in allocator pools
// that are kept for the life of the process.
void ReturnFreeMemory();

}  // namespace tovak::platform
