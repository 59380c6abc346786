// The process heap of kernel32. Large pages need a privilege that desktop users do not hold, so
// the hint does nothing here.
#include <malloc.h>
#include <windows.h>

#include "platform/heap.h"

namespace tovak::platform {
namespace {

class ProcessHeapOfWindows final : public Heap {
 public:
  void* Allocate(size_t bytes) override { return HeapAlloc(GetProcessHeap(), 0, bytes ? bytes : 1); }
  void* Reallocate(void* block, size_t bytes) override {
    if (!block) return Allocate(bytes);
    return HeapReAlloc(GetProcessHeap(), 0, block, bytes ? bytes : 1);
  }
  void Free(void* block) override {
    if (block) HeapFree(GetProcessHeap(), 0, block);
  }
};

}  // namespace

Heap* ProcessHeap() {
  static ProcessHeapOfWindows heap;
  return &heap;
}

void PreferLargePages(void*, size_t) {}

void ReturnFreeMemory() { _heapmin(); }

}  // namespace tovak::platform
