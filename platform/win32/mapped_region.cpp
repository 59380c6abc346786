// Files, file mappings and views through kernel32. Whole-file appends read and write through one
// large buffer: Windows has no file-to-file copy into the middle of an open file.
#include <windows.h>

#include <algorithm>
#include <vector>

#include "platform/mapped_region.h"
#include "platform/win32/native_path.h"

namespace tovak::platform {
namespace {

HANDLE AsHandle(NativeFile file) { return reinterpret_cast<HANDLE>(file); }

DWORD ShareMode(FileSharing sharing) {
  switch (sharing) {
    case FileSharing::ReadWrite: return FILE_SHARE_READ | FILE_SHARE_WRITE;
    case FileSharing::Write: return FILE_SHARE_WRITE;
    case FileSharing::Read: return FILE_SHARE_READ;
    case FileSharing::None: return 0;
  }
  return 0;
}

DWORD Disposition(FileCreation creation) {
  switch (creation) {
    case FileCreation::OpenExisting: return OPEN_EXISTING;
    case FileCreation::CreateAlways: return CREATE_ALWAYS;
    case FileCreation::OpenAlways: return OPEN_ALWAYS;
  }
  return OPEN_EXISTING;
}

struct Mapping {
  HANDLE handle;
  bool writable;
};

}  // namespace

NativeFile OpenFileForMapping(const Text& path, bool writable, FileCreation creation, FileSharing sharing,
                              bool randomAccess) {
  DWORD access = GENERIC_READ | (writable ? GENERIC_WRITE : 0);
  DWORD flags = randomAccess ? FILE_FLAG_RANDOM_ACCESS : FILE_FLAG_SEQUENTIAL_SCAN;
  HANDLE file = CreateFileW(NativePath(path).c_str(), access, ShareMode(sharing), nullptr, Disposition(creation),
                            flags, nullptr);
  return file == INVALID_HANDLE_VALUE ? kInvalidFile : reinterpret_cast<NativeFile>(file);
}

bool CloseFile(NativeFile file) { return file != kInvalidFile && CloseHandle(AsHandle(file)) != 0; }

bool GetFileLength(NativeFile file, int64_t& length) {
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(AsHandle(file), &size)) return false;
  length = size.QuadPart;
  return true;
}

bool SetFileLength(NativeFile file, int64_t length) {
  LARGE_INTEGER distance{};
  distance.QuadPart = length;
  return length >= 0 && SetFilePointerEx(AsHandle(file), distance, nullptr, FILE_BEGIN) && SetEndOfFile(AsHandle(file));
}

bool CopyFromFile(const Text& sourcePath, int64_t length, NativeFile target, int64_t offset) {
  HANDLE source = CreateFileW(NativePath(sourcePath).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (source == INVALID_HANDLE_VALUE) return false;
  std::vector<char> buffer(static_cast<size_t>(std::min<int64_t>(std::max<int64_t>(length, 1), 4 << 20)));
  LARGE_INTEGER position{};
  position.QuadPart = offset;
  bool copied = SetFilePointerEx(AsHandle(target), position, nullptr, FILE_BEGIN) != 0;
  while (copied && length > 0) {
    DWORD want = static_cast<DWORD>(std::min<int64_t>(length, static_cast<int64_t>(buffer.size()))), got = 0;
    if (!ReadFile(source, buffer.data(), want, &got, nullptr) || got == 0) {
      copied = false;
      break;
    }
    DWORD put = 0;
    if (!WriteFile(AsHandle(target), buffer.data(), got, &put, nullptr) || put != got) copied = false;
    length -= got;
  }
  CloseHandle(source);
  return copied;
}

MappingHandle CreateMapping(NativeFile file, bool writable) {
  int64_t length = 0;
  if (file == kInvalidFile || !GetFileLength(file, length) || length == 0) return 0;
  HANDLE mapping = CreateFileMappingW(AsHandle(file), nullptr, writable ? PAGE_READWRITE : PAGE_READONLY, 0, 0, nullptr);
  if (!mapping) return 0;
  return reinterpret_cast<MappingHandle>(new Mapping{mapping, writable});
}

void CloseMapping(MappingHandle handle) {
  auto* mapping = reinterpret_cast<Mapping*>(handle);
  if (!mapping) return;
  CloseHandle(mapping->handle);
  delete mapping;
}

void* MapView(MappingHandle handle, int64_t offset, size_t length) {
  auto* mapping = reinterpret_cast<Mapping*>(handle);
  if (!mapping || length == 0) return nullptr;
  const auto at = static_cast<uint64_t>(offset);
  return MapViewOfFile(mapping->handle, mapping->writable ? FILE_MAP_WRITE : FILE_MAP_READ,
                       static_cast<DWORD>(at >> 32), static_cast<DWORD>(at & 0xFFFFFFFFu), length);
}

bool UnmapView(void* base, size_t) { return UnmapViewOfFile(base) != 0; }

}  // namespace tovak::platform
