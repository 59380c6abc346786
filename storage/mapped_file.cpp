#include "storage/mapped_file.h"

#include <algorithm>
#include <cstring>

#include "platform/file_system.h"
#include "platform/mapped_region.h"

namespace tovak::storage {

using platform::kInvalidFile;

struct MappedFileTable::Record {
  platform::NativeFile file = kInvalidFile;
  platform::MappingHandle mapping = 0;
  bool writable = false;
  int64_t size = 0;
  int64_t position = 0;
  int64_t windowOffset = 0;
  char* view = nullptr;  // the byte at windowOffset
  uint32_t viewLength = 0;
  uint32_t viewDelta = 0;  // view - viewDelta is the mapped base
  uint32_t windowSize = 81920;
};

namespace {

// Holds a file's entry for the length of one operation.
class HeldRecord {
 public:
  HeldRecord(HandleTable& table, uint32_t number) : table_(table), number_(number) {
    HandleTable::Value value2 = 0;
    held_ = table_.Acquire(number_, value1_, value2);
  }
  ~HeldRecord() {
    if (held_) table_.Release(number_);
  }
  explicit operator bool() const { return held_; }
  MappedFileTable::Record& operator*() const { return *reinterpret_cast<MappedFileTable::Record*>(value1_); }

 private:
  HandleTable& table_;
  uint32_t number_;
  HandleTable::Value value1_ = 0;
  bool held_ = false;
};

}  // namespace

MappedFileTable::MappedFileTable(uint32_t allocationGranularity) : granularity_(allocationGranularity) {}

MappedFileTable::~MappedFileTable() = default;

uint32_t MappedFileTable::Open(const Text& path, int32_t mode, int32_t share, uint32_t flags) {
  bool writable;
  platform::FileCreation creation;
  switch (mode) {
    case kReadOnly: writable = false; creation = platform::FileCreation::OpenExisting; break;
    case kReadWrite: writable = true; creation = platform::FileCreation::OpenExisting; break;
    case kCreateAlways: writable = true; creation = platform::FileCreation::CreateAlways; break;
    case kOpenAlways: writable = true; creation = platform::FileCreation::OpenAlways; break;
    default: return 0;
  }
  static constexpr platform::FileSharing kSharing[] = {platform::FileSharing::ReadWrite, platform::FileSharing::Write,
                                                       platform::FileSharing::Read, platform::FileSharing::None};
  if (share < 1 || share > 4) return 0;
  platform::NativeFile file =
      platform::OpenFileForMapping(path, writable, creation, kSharing[share - 1], (flags & kFlagRandomAccess) != 0);
  if (file == kInvalidFile) return 0;
  auto* record = new Record;
  record->file = file;
  record->writable = writable;
  uint32_t number = table_.Add(reinterpret_cast<HandleTable::Value>(record), 0);
  if (number == 0) {
    platform::CloseFile(file);
    delete record;
  }
  return number;
}

void MappedFileTable::ReleaseView(Record& r) {
  if (!r.view) return;
  platform::UnmapView(r.view - r.viewDelta, r.viewLength + r.viewDelta);
  r.view = nullptr;
  r.viewLength = r.viewDelta = 0;
  r.windowOffset = 0;
}

void MappedFileTable::Unmap(Record& r) {
  ReleaseView(r);
  if (r.mapping) {
    platform::CloseMapping(r.mapping);
    r.mapping = 0;
  }
}

bool MappedFileTable::EnsureMapping(Record& r) {
  if (!r.mapping) r.mapping = platform::CreateMapping(r.file, r.writable);
  return r.mapping != 0;
}

bool MappedFileTable::Refresh(Record& r) {
  int64_t length = 0;
  platform::GetFileLength(r.file, length);
  if (r.position > length) r.position = length;
  if (length != r.size) {
    r.size = length;
    Unmap(r);
  }
  return length == 0 || EnsureMapping(r);
}

bool MappedFileTable::SetLengthHeld(Record& r, int64_t length) {
  if (!Refresh(r)) return false;
  if (r.size == length) return true;
  if (!r.writable) return false;
  Unmap(r);
  if (!platform::SetFileLength(r.file, length)) return false;
  if (r.position > length) r.position = length;
  r.size = length;
  return true;
}

char* MappedFileTable::EnsureView(Record& r, int64_t pos, int64_t n, bool grow) {
  if (n < 1) return nullptr;
  if (r.view && pos >= r.windowOffset && pos + n <= r.windowOffset + r.viewLength)
    return r.view + (pos - r.windowOffset);
  if (grow && pos + n > r.size) {
    SetLengthHeld(r, pos + n);
    Refresh(r);
  }
  ReleaseView(r);
  r.windowOffset = std::max<int64_t>(pos - r.windowSize / 2, 0);
  int64_t length = std::min<int64_t>(r.windowSize + n, r.size - r.windowOffset);
  r.viewDelta = static_cast<uint32_t>(r.windowOffset % granularity_);
  int64_t base = r.windowOffset - r.viewDelta;
  void* mapped = nullptr;
  if (length > 0 && EnsureMapping(r)) mapped = platform::MapView(r.mapping, base, static_cast<size_t>(length + r.viewDelta));
  if (mapped) {
    r.view = static_cast<char*>(mapped) + r.viewDelta;
    r.viewLength = static_cast<uint32_t>(length);
  } else {
    r.view = nullptr;
    r.viewLength = r.viewDelta = 0;
    r.windowOffset = 0;
  }
  if (r.view && pos >= r.windowOffset && pos + n <= r.windowOffset + r.viewLength)
    return r.view + (pos - r.windowOffset);
  return nullptr;
}

bool MappedFileTable::Write(uint32_t fileNumber, const Bytes& data) {
  if (data.empty()) return false;
  HeldRecord held(table_, fileNumber);
  if (!held) return false;
  Record& r = *held;
  if (!Refresh(r) || !r.writable) return false;
  char* target = EnsureView(r, r.position, static_cast<int64_t>(data.size()), true);
  if (!target) return false;
  std::memcpy(target, data.data(), data.size());
  r.position += static_cast<int64_t>(data.size());
  // A view sized for a large write ends at the end of the file, so the next append maps anew
  // anyway; giving it up now keeps its pages out of the process's resident memory.
  if (data.size() > r.windowSize) ReleaseView(r);
  return true;
}

bool MappedFileTable::AppendFile(uint32_t fileNumber, const Text& sourcePath) {
  const int64_t n = platform::FileLength(sourcePath);
  if (n <= 0) return false;
  HeldRecord held(table_, fileNumber);
  if (!held) return false;
  Record& r = *held;
  if (!Refresh(r) || !r.writable) return false;
  const int64_t sizeBefore = r.size;
  if (!platform::CopyFromFile(sourcePath, n, r.file, r.position)) {
    // A failed copy leaves no part of the source behind the old end of the file.
    if (r.position + n > sizeBefore) SetLengthHeld(r, sizeBefore);
    return false;
  }
  r.position += n;
  Refresh(r);  // sees the new length and gives up the view of the old one
  return true;
}

bool MappedFileTable::MoveToEnd(uint32_t fileNumber) {
  HeldRecord held(table_, fileNumber);
  if (!held || !Refresh(*held)) return false;
  Record& r = *held;
  r.position = r.size;
  return true;
}

bool MappedFileTable::SetLength(uint32_t fileNumber, int64_t length) {
  HeldRecord held(table_, fileNumber);
  return held && SetLengthHeld(*held, length);
}

void MappedFileTable::Close(uint32_t fileNumber) {
  HeldRecord held(table_, fileNumber);
  if (!held) return;
  Record& r = *held;
  if (Refresh(r)) {
    Unmap(r);
    platform::CloseFile(r.file);
    delete &r;
  }
  table_.Remove(fileNumber);
}

bool MappedFileTable::Inspect(uint32_t fileNumber, Snapshot& snapshot) {
  HeldRecord held(table_, fileNumber);
  if (!held) return false;
  const Record& r = *held;
  snapshot = {r.size, r.position, r.windowOffset, r.viewLength, r.view != nullptr};
  return true;
}

}  // namespace tovak::storage
