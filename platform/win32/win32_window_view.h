#pragma once
// The Win32 view of the main window: user32 and common controls at the layout's rectangles,
// refreshed from the model on the window's thread. Another thread's change only posts a message
// to the window; no other thread sends one or touches a control. The user's clicks, edits and
// close requests go to the handlers.
#include <windows.h>

#include <array>
#include <atomic>

#include "app/window_model.h"

namespace tovak::platform {

class Win32WindowView final : public WindowView {
 public:
  // Creates the window and its controls, hidden; the constructing thread is the window's.
  Win32WindowView(app::WindowModel& model, WindowHandlers handlers);
  ~Win32WindowView() override;
  Win32WindowView(const Win32WindowView&) = delete;
  Win32WindowView& operator=(const Win32WindowView&) = delete;

  HWND Window() const { return window_; }
  // The child window at the browser pane's rectangle, in which the engine draws.
  HWND BrowserHost() const { return Control(ControlId::MiniBlink浏览框1); }
  HWND Control(ControlId control) const { return controls_[static_cast<size_t>(control)]; }
  void Show();

  void ControlChanged(ControlId control) override;
  int ScreenWidth() override;
  void CloseWindow() override;

 private:
  static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  void OnCommand(ControlId control, int notification);
  void Refresh();
  void Apply(ControlId control);

  app::WindowModel& model_;
  WindowHandlers handlers_;
  HWND window_ = nullptr;
  HFONT font_ = nullptr;
  std::array<HWND, kControlCount> controls_{};
  std::array<std::atomic<bool>, kControlCount> dirty_{};
  std::atomic<bool> refreshQueued_{false};
  bool applying_ = false;
};

}  // namespace tovak::platform
