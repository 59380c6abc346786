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
// What other openers of the file may do while it is open.
enum class FileSharing { ReadWrite, Write, Read, None };

NativeFile OpenFileForMapping(const Text& path, bool writable, FileCreation creation, FileSharing sharing,
                              bool randomAccess);
bool CloseFile(NativeFile file);
bool GetFileLength(NativeFile file, int64_t& length);
bool SetFileLength(NativeFile file, int64_t length);
// Copies the first `length` bytes of the file at `sourcePath` into `target` from `offset` on,
// where the system can without passing them through a buffer of this process.
// False when the source cannot be read or is shorter; the target may then hold part of them.
bool CopyFromFile(const Text& sourcePath, int64_t length, NativeFile target, int64_t offset);

MappingHandle CreateMapping(NativeFile file, bool writable);
void CloseMapping(MappingHandle mapping);
// Maps `length` bytes from `offset`, which must be a multiple of the allocation granularity.
void* MapView(MappingHandle mapping, int64_t offset, size_t length);
bool UnmapView(void* base, size_t length);

}  // namespace tovak::platform
