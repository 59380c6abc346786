#pragma once
// Message boxes as modal GTK dialogs, and the shell's "open" through the desktop's default
// application.
#include "platform/desktop.h"
#include "platform/event_pump.h"

namespace tovak::platform {

class GtkDesktop final : public Desktop {
 public:
  explicit GtkDesktop(EventPump& pump) : pump_(pump) {}
  int ShowMessage(const Text& text, const Text& caption, MessageButtons buttons, MessageIcon icon) override;
  void OpenWithShell(const Text& path) override;

 private:
  int ShowOnWindowThread(const Text& text, const Text& caption, MessageButtons buttons, MessageIcon icon);
  EventPump& pump_;
};

}  // namespace tovak::platform
