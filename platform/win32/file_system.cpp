// Files and directories through the wide-character kernel32 calls.
#include <windows.h>

#include <algorithm>

#include "platform/file_system.h"
#include "platform/win32/native_path.h"
#include "platform/win32/wide_text.h"

namespace tovak::platform {
namespace {

DWORD Attributes(const Text& path) { return path.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(NativePath(path).c_str()); }

}  // namespace

EntryKind KindOf(const Text& path) {
  DWORD attributes = Attributes(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return EntryKind::Missing;
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? EntryKind::Directory : EntryKind::File;
}

bool MakeDirectory(const Text& path) { return CreateDirectoryW(NativePath(path).c_str(), nullptr) != 0; }
bool RemoveEmptyDirectory(const Text& path) { return RemoveDirectoryW(NativePath(path).c_str()) != 0; }

bool DeleteFileEntry(const Text& path) {
  DWORD attributes = Attributes(path);
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
  return DeleteFileW(NativePath(path).c_str()) != 0;
}

bool ListDirectory(const Text& path, std::vector<DirectoryEntry>& entries) {
  std::wstring pattern = NativePath(path);
  if (!pattern.empty() && pattern.back() != L'\\' && pattern.back() != L'/') pattern += L'\\';
  pattern += L'*';
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
  do {
    std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    entries.push_back({FromWide(name), (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                       (found.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0});
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return true;
}

bool ClearReadOnly(const Text& path) {
  DWORD attributes = Attributes(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  return SetFileAttributesW(NativePath(path).c_str(), attributes & ~FILE_ATTRIBUTE_READONLY) != 0;
}

bool SetReadOnly(const Text& path) {
  DWORD attributes = Attributes(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  return SetFileAttributesW(NativePath(path).c_str(), attributes | FILE_ATTRIBUTE_READONLY) != 0;
}

Bytes ReadWholeFile(const Text& path) {
  Bytes data;
  HANDLE file = CreateFileW(NativePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return data;
  LARGE_INTEGER size{};
  bool failed = !GetFileSizeEx(file, &size) || size.QuadPart > static_cast<LONGLONG>(data.max_size());
  if (!failed) data.resize(static_cast<size_t>(size.QuadPart));
  size_t got = 0;
  while (!failed && got < data.size()) {
    DWORD piece = static_cast<DWORD>(std::min<size_t>(data.size() - got, 1u << 30)), read = 0;
    if (!ReadFile(file, data.data() + got, piece, &read, nullptr)) failed = true;
    if (read == 0) break;
    got += read;
  }
  CloseHandle(file);
  if (failed) return {};
  data.resize(got);
  return data;
}

bool WriteWholeFile(const Text& path, const Bytes& data) {
  HANDLE file = CreateFileW(NativePath(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  size_t written = 0;
  while (written < data.size()) {
    DWORD piece = static_cast<DWORD>(std::min<size_t>(data.size() - written, 1u << 30)), put = 0;
    if (!WriteFile(file, data.data() + written, piece, &put, nullptr) || put == 0) break;
    written += put;
  }
  return CloseHandle(file) && written == data.size();
}

int64_t FileLength(const Text& path) {
  WIN32_FILE_ATTRIBUTE_DATA info;
  if (!GetFileAttributesExW(NativePath(path).c_str(), GetFileExInfoStandard, &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    return -1;
  return (static_cast<int64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
}

bool RenameFile(const Text& from, const Text& to) {
  return MoveFileExW(NativePath(from).c_str(), NativePath(to).c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

bool CanReplaceFile(const Text& path) {
  const DWORD attributes = Attributes(path);
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)))
    return false;
  // Replacing needs delete access, which a program that holds the file without sharing its
  // deletion refuses.
  HANDLE file = CreateFileW(NativePath(path).c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

int64_t FreeSpace(const Text& directory) {
  ULARGE_INTEGER available{};
  const std::wstring native = directory.empty() ? std::wstring(L".") : NativePath(directory);
  if (!GetDiskFreeSpaceExW(native.c_str(), &available, nullptr, nullptr)) return -1;
  return static_cast<int64_t>(available.QuadPart);
}

}  // namespace tovak::platform
