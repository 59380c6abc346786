#pragma once
// Files written through a moving mapped view that grows the file on demand. Each open file is an
// entry of a handle table, whose lock serialises all work on that file; the entry's handle is the
// file number (0: failure).
#include <cstdint>

#include "concurrency/handle_table.h"
#include "text/text.h"

namespace tovak::storage {

enum OpenMode : int32_t { kReadOnly = 1, kReadWrite = 3, kCreateAlways = 4, kOpenAlways = 6 };
constexpr uint32_t kFlagRandomAccess = 0x10000000;

class MappedFileTable {
 public:
  // Views start on multiples of `allocationGranularity`.
  explicit MappedFileTable(uint32_t allocationGranularity);
  ~MappedFileTable();
  MappedFileTable(const MappedFileTable&) = delete;
  MappedFileTable& operator=(const MappedFileTable&) = delete;

  // `share`: 1 others may read and write, 2 write, 3 read, 4 nothing; other values fail.
  uint32_t Open(const Text& path, int32_t mode = kReadWrite, int32_t share = 1, uint32_t flags = 0);
  bool Write(uint32_t fileNumber, const Bytes& data);
  // Appends the whole of another file at the position: what Write does with the file's bytes,
  // but copied from file to file by the system, since a whole file needs neither a view nor a
  // pass through memory. False when the source is empty or cannot be read; a failed copy leaves
  // the file as long as it was.
  bool AppendFile(uint32_t fileNumber, const Text& sourcePath);
  // Puts the position at the end of the file, for appending to what it holds.
  bool MoveToEnd(uint32_t fileNumber);
  bool SetLength(uint32_t fileNumber, int64_t length);
  void Close(uint32_t fileNumber);

  // What a test may observe of an open file: its length as last seen, position and current view.
  struct Snapshot {
    int64_t size = 0, position = 0, windowOffset = 0;
    uint32_t viewLength = 0;
    bool hasView = false;
  };
  bool Inspect(uint32_t fileNumber, Snapshot& snapshot);

  struct Record;

 private:
  bool Refresh(Record& record);
  bool EnsureMapping(Record& record);
  void ReleaseView(Record& record);
  void Unmap(Record& record);
  char* EnsureView(Record& record, int64_t pos, int64_t n, bool grow);
  bool SetLengthHeld(Record& record, int64_t length);

  HandleTable table_;
  uint32_t granularity_;
};

}  // namespace tovak::storage
