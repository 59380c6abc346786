#pragma once
// Message boxes with MessageBoxW (task-modal, no owner, from any thread: each box runs its own
// modal loop on the calling thread), and the shell's "open" with ShellExecuteW.
#include "platform/desktop.h"

namespace tovak::platform {

class Win32Desktop final : public Desktop {
 public:
  int ShowMessage(const Text& text, const Text& caption, MessageButtons buttons, MessageIcon icon) override;
  void OpenWithShell(const Text& path) override;
};

}  // namespace tovak::platform
