#pragma once
// The main window's controls as model objects: texts, disabled states, geometry and the progress
// position. Any thread may read and write them; the attached view mirrors them on the window's
// thread.
#include <array>
#include <atomic>
#include <mutex>

#include "download/download_controls.h"
#include "platform/window_view.h"
#include "text/text.h"

namespace tovak::app {

using platform::ControlId;

struct Rect {
  int left, top, width, height;
};

// Also the controls that the download engine writes.
class WindowModel final : public download::DownloadControls {
 public:
  WindowModel();
  WindowModel(const WindowModel&) = delete;
  WindowModel& operator=(const WindowModel&) = delete;

  void AttachView(platform::WindowView* view);
  platform::WindowView* View() const { return view_.load(); }

  Text GetText(ControlId control) const;
  void SetText(ControlId control, const Text& text);
  bool IsDisabled(ControlId control) const;
  void SetDisabled(ControlId control, bool disabled);
  // The progress bar's position, always within 0..100.
  int ProgressPosition() const override;
  void SetProgressPosition(int position) override;
  void SetStatusText(const Text& text) override { SetText(ControlId::标签_进度提示, text); }
  Text SavePathText() const override { return GetText(ControlId::编辑框2); }
  // The window's outer rectangle on the screen; controls keep their layout rectangles.
  Rect WindowRect() const;
  void SetWindowLeft(int left);
  void SetWindowWidth(int width);
  static Rect LayoutOf(ControlId control);

 private:
  struct ControlState {
    Text text;
    bool disabled = false;
  };
  void Changed(ControlId control) const;

  mutable std::mutex mutex_;
  std::array<ControlState, platform::kControlCount> controls_;
  Rect window_;
  int progress_ = 0;
  std::atomic<platform::WindowView*> view_{nullptr};
};

}  // namespace tovak::app
