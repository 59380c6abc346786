#include "platform/win32/cjk_font.h"

namespace tovak::platform {
namespace {

const wchar_t* const kFamilies[] = {L"Microsoft YaHei UI", L"Microsoft YaHei", L"SimSun", L"NSimSun", L"SimHei",
                                    L"Noto Sans CJK SC", L"Noto Sans SC", L"WenQuanYi Micro Hei",
                                    L"Droid Sans Fallback"};

int CALLBACK NoteFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;
}

bool FamilyExists(HDC dc, const wchar_t* family) {
  LOGFONTW wanted{};
  wanted.lfCharSet = DEFAULT_CHARSET;
  lstrcpynW(wanted.lfFaceName, family, LF_FACESIZE);
  bool found = false;
  EnumFontFamiliesExW(dc, &wanted, NoteFound, reinterpret_cast<LPARAM>(&found), 0);
  return found;
}

}  // namespace

HFONT CreateCjkFont(int pixelHeight) {
  HDC dc = GetDC(nullptr);
  const wchar_t* chosen = nullptr;
  for (const wchar_t* family : kFamilies) {
    if (FamilyExists(dc, family)) {
      chosen = family;
      break;
    }
  }
  ReleaseDC(nullptr, dc);
  if (!chosen) return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  return CreateFontW(-pixelHeight, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                     CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_DONTCARE, chosen);
}

}  // namespace tovak::platform
