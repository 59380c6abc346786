#include "storage/file_system_utils.h"

#include <vector>

#include "platform/file_system.h"
#include "text/text_ops.h"

namespace tovak::storage {
namespace {

size_t CharacterCount(const Text& path) {
  size_t count = 0;
  for (size_t i = 0; i < path.size(); ++count)
    i += text::CharacterWidth(path, i);
  return count;
}

bool DeleteTree(const Text& directory) {
  Text prefix = text::EndsWith(directory, "\\") ? directory : directory + "\\";
  std::vector<platform::DirectoryEntry> entries;
  if (!platform::ListDirectory(prefix, entries)) return false;
  for (const platform::DirectoryEntry& entry : entries) {
    if (entry.name.empty()) continue;
    Text path = prefix + entry.name;
    if (entry.isDirectory) {
      DeleteTree(path);
    } else {
      if (entry.isReadOnly) platform::ClearReadOnly(path);
      platform::DeleteFileEntry(path);
    }
  }
  return platform::RemoveEmptyDirectory(prefix);
}

}  // namespace

bool DirectoryExists(const Text& path) { return platform::KindOf(path) == platform::EntryKind::Directory; }

bool CreateDirectoryTree(const Text& path) {
  if (CharacterCount(path) >= 3) {
    bool afterDrive = false;
    for (size_t i = 0; i < path.size();) {
      size_t width = text::CharacterWidth(path, i);
      if (width == 1 && path[i] == '\\') {
        if (afterDrive) platform::MakeDirectory(path.substr(0, i));
        afterDrive = true;
      }
      i += width;
    }
    platform::MakeDirectory(path);
  }
  return DirectoryExists(path);
}

bool FileExists(const Text& path) { return platform::KindOf(path) == platform::EntryKind::File; }

bool DeleteDirectoryTree(const Text& path) { return !path.empty() && DeleteTree(path); }

bool RemoveFile(const Text& path) { return platform::DeleteFileEntry(path); }

}  // namespace tovak::storage
