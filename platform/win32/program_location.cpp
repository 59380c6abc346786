#include <windows.h>
#include <shlobj.h>

#include <string>

#include "platform/program_location.h"
#include "platform/win32/wide_text.h"

namespace tovak::platform {

const char kDirectorySeparator = '\\';

Text ProgramDirectory() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return ".";
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  return FromWide(path.substr(0, path.find_last_of(L"\\/")));
}

bool IsWritableDirectory(const Text& path) {
  // Asking the file system is the only answer that counts on every kind of volume and ACL.
  std::wstring probe = Wide(path) + L"\\.tovak-write-probe";
  HANDLE file = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

Text EnvironmentText(const char* name) {
  std::wstring wideName(name, name + std::char_traits<char>::length(name));
  DWORD length = GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
  if (length == 0) return {};
  std::wstring value(length, L'\0');
  length = GetEnvironmentVariableW(wideName.c_str(), value.data(), length);
  value.resize(length);
  return FromWide(value);
}

Text UserDownloadDirectory() {
  wchar_t* folder = nullptr;
  Text result;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Downloads, 0, nullptr, &folder))) result = FromWide(folder);
  CoTaskMemFree(folder);
  return result;
}

}  // namespace tovak::platform
