#include "platform/win32/win32_desktop.h"

#include <windows.h>
#include <shellapi.h>

#include "platform/win32/native_path.h"
#include "platform/win32/wide_text.h"

namespace tovak::platform {
namespace {

UINT IconStyle(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::Error: return MB_ICONERROR;
    case MessageIcon::Warning: return MB_ICONWARNING;
    case MessageIcon::Information: return MB_ICONINFORMATION;
    case MessageIcon::None: break;
  }
  return 0;
}

}  // namespace

int Win32Desktop::ShowMessage(const Text& text, const Text& caption, MessageButtons buttons, MessageIcon icon) {
  UINT style = MB_TASKMODAL | MB_SETFOREGROUND | IconStyle(icon) | (buttons == MessageButtons::YesNo ? MB_YESNO : MB_OK);
  int pressed = MessageBoxW(nullptr, Wide(text).c_str(), Wide(caption).c_str(), style);
  // IDOK (1) .. IDNO (7) are the system's answers 0 .. 6 shifted by one; a failed box is no answer.
  if (pressed >= IDOK && pressed <= IDNO) return pressed - IDOK;
  return buttons == MessageButtons::YesNo ? kAnswerNo : kAnswerOk;
}

void Win32Desktop::OpenWithShell(const Text& path) {
  ShellExecuteW(nullptr, L"open", NativePath(path).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace tovak::platform
