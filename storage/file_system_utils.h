#pragma once
// Path operations for the temporary tree. Paths are the system's texts (drive letter,
// backslashes); none of these shows a message, each reports only its boolean.
#include "text/text.h"

namespace tovak::storage {

bool DirectoryExists(const Text& path);
// Creates every prefix that ends before a backslash except the first (the drive), then the whole
// path; true when the directory exists afterwards. Fewer than three characters create nothing.
bool CreateDirectoryTree(const Text& path);
// True for an existing entry that is not a directory, hidden files included.
bool FileExists(const Text& path);
// Deletes the directory with everything in it, clearing the read-only state of files first; true
// when the directory itself was removed.
bool DeleteDirectoryTree(const Text& path);
bool RemoveFile(const Text& path);

}  // namespace tovak::storage
