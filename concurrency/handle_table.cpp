#include "concurrency/handle_table.h"

#include <new>

namespace tovak {

HandleTable::~HandleTable() {
  for (Page* page = firstPage_.load(); page;) {
    Page* next = page->nextPage.load();
    delete page;
    page = next;
  }
}

uint32_t HandleTable::Add(Value value1, Value value2) {
  LockGuard guard(tableLock_);
  if (!firstPage_.load()) firstPage_.store(new (std::nothrow) Page());
  uint32_t handle = 0;
  uint32_t pageIndex = 0;
  for (Page* page = firstPage_.load(); page && handle == 0; page = page->nextPage.load(), ++pageIndex) {
    if (page->liveCount.load() == kEntriesPerPage) {
      if (!page->nextPage.load()) {
        if (Page* added = new (std::nothrow) Page()) {
          pageCount_.fetch_add(1);
          page->nextPage.store(added);
        }
      }
      continue;
    }
    for (int32_t slot = 0; slot < kEntriesPerPage; ++slot) {
      Entry& entry = page->entries[slot];
      int32_t state = entry.entryState.load();
      if (state == 1) continue;
      if (state == 0) entry.section.emplace();  // a freed entry keeps its initialised lock
      page->liveCount.fetch_add(1);
      entry.value1 = value1;
      entry.value2 = value2;
      entry.entryState.store(1);
      handle = pageIndex * 65536 + kPageHeader + kEntrySize * static_cast<uint32_t>(slot);
      break;
    }
  }
  return handle;
}

bool HandleTable::DecodeHandle(uint32_t handle, uint32_t& pageIndex, uint32_t& position) const {
  if (!firstPage_.load()) return false;
  pageIndex = handle >> 16;
  position = handle & 0xFFFF;
  return pageIndex < static_cast<uint32_t>(pageCount_.load()) && position >= kPageHeader && position < kPageSize;
}

HandleTable::Entry* HandleTable::Find(uint32_t handle, Page** pageOut) const {
  uint32_t pageIndex, position;
  if (!DecodeHandle(handle, pageIndex, position)) return nullptr;
  if ((position - kPageHeader) % kEntrySize != 0) return nullptr;
  Page* page = firstPage_.load();
  for (uint32_t i = 0; page && i < pageIndex; ++i) page = page->nextPage.load();
  if (pageOut) *pageOut = page;
  return page ? &page->entries[(position - kPageHeader) / kEntrySize] : nullptr;
}

bool HandleTable::Remove(uint32_t handle) {
  Entry* entry;
  Page* page = nullptr;
  {
    LockGuard guard(tableLock_);
    entry = Find(handle, &page);
    if (!entry || entry->entryState.load() != 1) return false;
  }
  std::lock_guard hold(*entry->section);
  if (entry->entryState.load() != 1) return false;
  page->liveCount.fetch_sub(1);
  entry->value1 = 0;
  entry->value2 = 0;
  entry->entryState.store(-1);
  return true;
}

bool HandleTable::Acquire(uint32_t handle, Value& value1, Value& value2) {
  Entry* entry = Find(handle);
  if (!entry || entry->entryState.load() == 0) return false;
  entry->section->lock();
  if (entry->entryState.load() != 1) {
    entry->section->unlock();
    return false;
  }
  value1 = entry->value1;
  value2 = entry->value2;
  return true;
}

void HandleTable::Release(uint32_t handle, std::optional<Value> value1, std::optional<Value> value2) {
  Entry* entry = Find(handle);
  if (!entry || !entry->section) return;
  if (value1) entry->value1 = *value1;
  if (value2) entry->value2 = *value2;
  entry->section->unlock();
}

}  // namespace tovak
