// Drive D: under Wine. The suite runs once with the prefix's d: linked to a folder (a fixed disk)
// and once without it, so both homes of the temporary tree are seen.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include "platform/win32/native_path.h"

namespace tovak::platform {
namespace {

std::wstring LocalAppData() {
  wchar_t* folder = nullptr;
  std::wstring result;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &folder))) result = folder;
  CoTaskMemFree(folder);
  return result;
}

TEST(Win32NativePath, DriveDIsKeptOnlyWhereItIsAFixedDisk) {
  const bool fixed = GetDriveTypeW(L"D:\\") == DRIVE_FIXED;
  const std::wstring root = fixed ? L"D:\\" : LocalAppData() + L"\\tovak-downloader\\drive-d\\";
  RecordProperty("drive_d", fixed ? "fixed disk" : "missing");
  EXPECT_EQ(NativePath("D:\\01-Download\\diRediruzu\\1.temp"), root + L"01-Download\\diRediruzu\\1.temp");
  EXPECT_EQ(NativePath("d:"), root);
  EXPECT_EQ(NativePath("C:\\x\\\xCF\xC2\xD4\xD8"), L"C:\\x\\\u4E0B\u8F7D") << "other drives as they are, text from GBK";
  if (!fixed) {
    EXPECT_NE(GetFileAttributesW(root.c_str()), INVALID_FILE_ATTRIBUTES) << "the stand-in exists";
  }
}

}  // namespace
}  // namespace tovak::platform
