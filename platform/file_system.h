#pragma once
// File-system services over the system's paths (converted by NativePath).
#include <cstdint>
#include <vector>

#include "text/text.h"

namespace tovak::platform {

struct DirectoryEntry {
  Text name;
  bool isDirectory = false;
  bool isReadOnly = false;
};

enum class EntryKind { Missing, File, Directory };

EntryKind KindOf(const Text& path);
bool MakeDirectory(const Text& path);
bool RemoveEmptyDirectory(const Text& path);
bool DeleteFileEntry(const Text& path);
// The entries of a directory without "." and ".."; false when it cannot be listed.
bool ListDirectory(const Text& path, std::vector<DirectoryEntry>& entries);
bool ClearReadOnly(const Text& path);
bool SetReadOnly(const Text& path);
// The whole file, or an empty byte string when it cannot be read.
Bytes ReadWholeFile(const Text& path);
// Creates or truncates the file and writes `data`.
bool WriteWholeFile(const Text& path, const Bytes& data);
// The file's length in bytes, or -1 when it cannot be read.
int64_t FileLength(const Text& path);
// Gives the file at `from` the name `to` on the same volume, replacing a file of that name.
bool RenameFile(const Text& from, const Text& to);
// Whether the existing file may be replaced: it is not read-only, and no other program holds it
// open in a way that forbids it.
bool CanReplaceFile(const Text& path);
// Bytes free to this user on the volume of the directory ("": the current one); -1 when unknown.
int64_t FreeSpace(const Text& directory);

}  // namespace tovak::platform
