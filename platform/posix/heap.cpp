#include "platform/heap.h"

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

}  // namespace tovak::platform
