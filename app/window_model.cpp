#include "app/window_model.h"

#include <algorithm>

namespace tovak::app {
namespace {

struct Layout {
  ControlId id;
  Rect rect;
  const char* text;
};

const Layout kLayout[] = {
    {ControlId::Window, {50, 50, 885, 349}, "下载器"},
    {ControlId::按钮1, {416, 8, 40, 32}, ">"},
    {ControlId::标签1, {0, 288, 60, 24}, "直链网址："},
    {ControlId::MiniBlink浏览框1, {464, 8, 408, 304}, ""},
    {ControlId::编辑框1, {61, 288, 387, 24}, "正在获取中..."},
    {ControlId::标签2, {8, 63, 60, 24}, "保存路径："},
    {ControlId::编辑框2, {69, 63, 386, 24}, "D:\\Tovak Security.zip"},
    {ControlId::按钮_下载, {197, 162, 80, 32}, "下载"},
    {ControlId::标签_进度提示, {5, 106, 386, 20}, "- 正在获取链接..."},
    {ControlId::进度条_更新进度, {5, 128, 451, 24}, ""},
};

size_t IndexOf(ControlId control) { return static_cast<size_t>(control); }

}  // namespace

WindowModel::WindowModel() : window_(kLayout[0].rect) {
  for (const Layout& layout : kLayout) controls_[IndexOf(layout.id)].text = layout.text;
  controls_[IndexOf(ControlId::按钮_下载)].disabled = true;
}

Rect WindowModel::LayoutOf(ControlId control) { return kLayout[IndexOf(control)].rect; }

void WindowModel::AttachView(platform::WindowView* view) { view_.store(view); }

void WindowModel::Changed(ControlId control) const {
  if (platform::WindowView* view = view_.load()) view->ControlChanged(control);
}

Text WindowModel::GetText(ControlId control) const {
  std::lock_guard lock(mutex_);
  return controls_[IndexOf(control)].text;
}

void WindowModel::SetText(ControlId control, const Text& text) {
  {
    std::lock_guard lock(mutex_);
    controls_[IndexOf(control)].text = text;
  }
  Changed(control);
}

bool WindowModel::IsDisabled(ControlId control) const {
  std::lock_guard lock(mutex_);
  return controls_[IndexOf(control)].disabled;
}

void WindowModel::SetDisabled(ControlId control, bool disabled) {
  {
    std::lock_guard lock(mutex_);
    controls_[IndexOf(control)].disabled = disabled;
  }
  Changed(control);
}

int WindowModel::ProgressPosition() const {
  std::lock_guard lock(mutex_);
  return progress_;
}

void WindowModel::SetProgressPosition(int position) {
  {
    std::lock_guard lock(mutex_);
    progress_ = std::clamp(position, 0, 100);
  }
  Changed(ControlId::进度条_更新进度);
}

Rect WindowModel::WindowRect() const {
  std::lock_guard lock(mutex_);
  return window_;
}

void WindowModel::SetWindowLeft(int left) {
  {
    std::lock_guard lock(mutex_);
    window_.left = left;
  }
  Changed(ControlId::Window);
}

void WindowModel::SetWindowWidth(int width) {
  {
    std::lock_guard lock(mutex_);
    window_.width = width;
  }
  Changed(ControlId::Window);
}

}  // namespace tovak::app
