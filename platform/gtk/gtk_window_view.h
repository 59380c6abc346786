#pragma once
// The GTK view of the main window: widgets at the layout's rectangles, refreshed from the model on
// the window's thread, with the user's clicks, edits and close requests handed to the handlers.
#include <gtk/gtk.h>

#include <array>
#include <atomic>
#include <functional>

#include "app/window_model.h"

namespace tovak::platform {

class GtkWindowView final : public WindowView {
 public:
  GtkWindowView(app::WindowModel& model, WindowHandlers handlers, GtkWidget* browserWidget);
  void Show();
  void ControlChanged(ControlId control) override;
  int ScreenWidth() override;
  void CloseWindow() override;

 private:
  void Refresh();
  void Apply(ControlId control);
  GtkWidget* Widget(ControlId control) const { return widgets_[static_cast<size_t>(control)]; }

  app::WindowModel& model_;
  WindowHandlers handlers_;
  GtkWidget* window_;
  GtkWidget* layout_;
  std::array<GtkWidget*, kControlCount> widgets_{};
  std::array<std::atomic<bool>, kControlCount> dirty_{};
  std::atomic<bool> refreshQueued_{false};
  bool applying_ = false;
};

}  // namespace tovak::platform
