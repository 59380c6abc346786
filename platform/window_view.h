#pragma once
// The view side of the main window: it mirrors the window model on the window's thread.
#include <functional>

namespace tovak::platform {

enum class ControlId { Window, 按钮1, 标签1, MiniBlink浏览框1, 编辑框1, 标签2, 编辑框2, 按钮_下载, 标签_进度提示, 进度条_更新进度 };
inline constexpr int kControlCount = 10;

// The handlers that a view calls for the user's two buttons and for a close request (true: the
// window may close now).
struct WindowHandlers {
  std::function<void()> onToggle;
  std::function<void()> onDownload;
  std::function<bool()> mayCloseNow;
};

class WindowView {
 public:
  virtual ~WindowView() = default;
  // The model of `control` changed; callable from any thread, the view refreshes on its own.
  virtual void ControlChanged(ControlId control) = 0;
  virtual int ScreenWidth() = 0;
  // Destroys the window; ends the program's message loop.
  virtual void CloseWindow() = 0;
};

}  // namespace tovak::platform
