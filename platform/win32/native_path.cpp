#include "platform/win32/native_path.h"

#include <windows.h>
#include <shlobj.h>

#include <mutex>

#include "platform/win32/wide_text.h"

namespace tovak::platform {
namespace {

bool IsWritableFixedDisk(const std::wstring& root) {
  if (GetDriveTypeW(root.c_str()) != DRIVE_FIXED) return false;
  DWORD flags = 0;
  if (!GetVolumeInformationW(root.c_str(), nullptr, 0, nullptr, nullptr, &flags, nullptr, 0)) return false;
  return (flags & FILE_READ_ONLY_VOLUME) == 0;
}

// The folder that stands for D:\ where D: cannot hold the tree, with its trailing backslash.
std::wstring StandInForD() {
  wchar_t* localAppData = nullptr;
  std::wstring folder;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &localAppData))) folder = localAppData;
  CoTaskMemFree(localAppData);
  if (folder.empty()) return L"D:\\";
  folder += L"\\tovak-downloader";
  CreateDirectoryW(folder.c_str(), nullptr);
  folder += L"\\drive-d";
  CreateDirectoryW(folder.c_str(), nullptr);
  return folder + L"\\";
}

// Decided once: the disks of a running program do not come and go under its temporary tree.
const std::wstring& RootOfD() {
  static std::once_flag once;
  static std::wstring root;
  std::call_once(once, [] { root = IsWritableFixedDisk(L"D:\\") ? L"D:\\" : StandInForD(); });
  return root;
}

}  // namespace

std::wstring NativePath(const Text& path) {
  std::wstring wide = Wide(path);
  if (wide.size() >= 2 && (wide[0] == L'D' || wide[0] == L'd') && wide[1] == L':') {
    size_t rest = wide.size() > 2 && (wide[2] == L'\\' || wide[2] == L'/') ? 3 : 2;
    return RootOfD() + wide.substr(rest);
  }
  return wide;
}

}  // namespace tovak::platform
