#pragma once
// Entries of two values, each with a re-entrant lock of its own, addressed by 32-bit handles:
// page index * 65536 + 8 + 36 * slot. Freed entries are reused lowest page first, lowest slot
// first; pages are added only when all are full and released only with the table.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>

#include "concurrency/lock.h"

namespace tovak {

class HandleTable {
 public:
  using Value = uintptr_t;
  static constexpr int32_t kEntriesPerPage = 1000;
  static constexpr int32_t kPageHeader = 8;
  static constexpr int32_t kEntrySize = 36;
  static constexpr int32_t kPageSize = kPageHeader + kEntriesPerPage * kEntrySize;  // 36008

  HandleTable() = default;
  ~HandleTable();
  HandleTable(const HandleTable&) = delete;
  HandleTable& operator=(const HandleTable&) = delete;

  // The new entry's handle, or 0 when no page could be allocated.
  uint32_t Add(Value value1, Value value2);
  bool Remove(uint32_t handle);
  // On success the entry's lock is held by the caller until Release.
  bool Acquire(uint32_t handle, Value& value1, Value& value2);
  void Release(uint32_t handle, std::optional<Value> value1 = {}, std::optional<Value> value2 = {});
  bool DecodeHandle(uint32_t handle, uint32_t& pageIndex, uint32_t& position) const;

 private:
  struct Entry {
    std::atomic<int32_t> entryState{0};  // 0 never used, 1 in use, -1 free again
    Value value1 = 0;
    Value value2 = 0;
    std::optional<std::recursive_mutex> section;
  };
  struct Page {
    std::atomic<int32_t> liveCount{0};
    std::atomic<Page*> nextPage{nullptr};
    Entry entries[kEntriesPerPage];
  };

  // The entry and its page, or null when the handle names none.
  Entry* Find(uint32_t handle, Page** page = nullptr) const;

  std::atomic<Page*> firstPage_{nullptr};
  std::atomic<int32_t> pageCount_{1};
  Lock tableLock_;
};

}  // namespace tovak
