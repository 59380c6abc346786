#pragma once
#include "text/text.h"

namespace tovak::platform {

// The directory that holds the program's executable, without a trailing separator.
Text ProgramDirectory();
// The separator that joins a directory of ProgramDirectory's kind and a file name.
extern const char kDirectorySeparator;
bool IsWritableDirectory(const Text& path);
// The user's download directory, as the desktop names it.
Text UserDownloadDirectory();
// The variable's value, or the empty text when it is not set.
Text EnvironmentText(const char* name);

}  // namespace tovak::platform
