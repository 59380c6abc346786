#include "platform/heap.h"

#include <malloc.h>
#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>

namespace tovak::platform {
namespace {

class MallocHeap final : public Heap {
 public:
  void* Allocate(size_t bytes) override { return std::malloc(bytes ? bytes : 1); }
  void* Reallocate(void* block, size_t bytes) override { return std::realloc(block, bytes ? bytes : 1); }
  void Free(void* block) override { std::free(block); }
};

}  // namespace

Heap* ProcessHeap() {
  static MallocHeap heap;
  return &heap;
}

void PreferLargePages(void* block, size_t bytes) {
  constexpr uintptr_t kLargePage = uintptr_t{1} << 21;
  // Only whole large pages inside the block: the advice must not reach its neighbours.
  const uintptr_t first = (reinterpret_cast<uintptr_t>(block) + kLargePage - 1) & ~(kLargePage - 1);
  const uintptr_t end = (reinterpret_cast<uintptr_t>(block) + bytes) & ~(kLargePage - 1);
  if (end > first) ::madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
}

void ReturnFreeMemory() {
  // A freed block as big as a worker's buffer raises the allocator's threshold for blocks of their
  // own, after which such buffers come from the threads' pools and stay there when freed. A fixed
  // threshold sends them back to the system when they are freed, from the next download on.
  ::mallopt(M_MMAP_THRESHOLD, 1 << 20);
  ::malloc_trim(0);
}

}  // namespace tovak::platform
