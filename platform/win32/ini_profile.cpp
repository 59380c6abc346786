// INI files through the private-profile calls, in their wide form.
#include <windows.h>

#include "platform/ini_profile.h"
#include "platform/win32/native_path.h"
#include "platform/win32/wide_text.h"

namespace tovak::platform {

Text ReadProfileText(const Text& section, const Text& key, const Text& path) {
  std::wstring buffer(4096, L'\0');
  DWORD length = GetPrivateProfileStringW(Wide(section).c_str(), Wide(key).c_str(), L"", buffer.data(),
                                          static_cast<DWORD>(buffer.size()), NativePath(path).c_str());
  return FromWide(buffer.data(), length);
}

bool WriteProfileText(const Text& section, const Text& key, const Text& value, const Text& path) {
  return WritePrivateProfileStringW(Wide(section).c_str(), Wide(key).c_str(), Wide(value).c_str(),
                                    NativePath(path).c_str()) != 0;
}

}  // namespace tovak::platform
