#pragma once
// Files opened for mapping, their mappings and views.
#include <cstddef>
#include <cstdint>

#include "text/text.h"

namespace tovak::platform {

using NativeFile = intptr_t;
constexpr NativeFile kInvalidFile = -1;
using MappingHandle = intptr_t;  // 0: none

enum class FileCreation { OpenExisting, CreateAlways, OpenAlways };

NativeFile OpenFileForMapping(const Text& path, bool writable, FileCreation creation, bool randomAccess);
bool CloseFile(NativeFile file);
bool GetFileLength(NativeFile file, int64_t& length);
bool SetFileLength(NativeFile file, int64_t length);

MappingHandle CreateMapping(NativeFile file, bool writable);
void CloseMapping(MappingHandle mapping);
// Maps `length` bytes from `offset`, which must be a multiple of the allocation granularity.
void* MapView(MappingHandle mapping, int64_t offset, size_t length);
bool UnmapView(void* base, size_t length);
// Readies a range of a writable view for a large write in one step rather than one page fault
// at a time. Only a hint: the write works without it.
void PrepareViewForWrite(void* address, size_t length);

}  // namespace tovak::platform
