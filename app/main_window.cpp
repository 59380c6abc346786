#include "app/main_window.h"

#include "app/deployment.h"
#include "platform/program_location.h"
#include "text/text_ops.h"

namespace tovak::app {

namespace {
const char* const kSaveName = "Tovak Security.zip";
}

Text DefaultSavePath() {
  Text directory = platform::ProgramDirectory();
  if (!platform::IsWritableDirectory(directory)) directory = platform::UserDownloadDirectory();
  return directory + platform::kDirectorySeparator + kSaveName;
}

MainWindow::MainWindow(WindowModel& model, BrowserBox& browser, download::DownloadEngine& engine)
    : model_(model), browser_(browser), engine_(engine) {
  browser_.On载入完成([this](BrowserBox* webView, const Text& url, int loadResult, const Text& failureReason) {
    OnPageLoaded(webView, url, loadResult, failureReason);
  });
}

void MainWindow::OnWindowCreated() {
  model_.SetText(ControlId::编辑框2, DefaultSavePath());
  browser_.LoadUrl(UpdatePageUrl());
  OnToggleClicked();
}

bool MainWindow::OnMayClose() { return !text::Contains(model_.GetText(ControlId::标签_进度提示), "正在"); }

void MainWindow::OnToggleClicked() {
  if (model_.WindowRect().width == kCollapsedWidth) {
    model_.SetWindowWidth(kExpandedWidth);
    model_.SetText(ControlId::按钮1, "<");
  } else {
    model_.SetWindowWidth(kCollapsedWidth);
    model_.SetText(ControlId::按钮1, ">");
  }
  platform::WindowView* view = model_.View();
  int screen = view ? view->ScreenWidth() : 0;
  model_.SetWindowLeft(static_cast<int>((screen - model_.WindowRect().width) / 2.0));
}

void MainWindow::OnDownloadClicked() {
  // A press during a run would start a second run inside the first on this thread.
  if (running_) return;
  download::DownloadState& state = engine_.Context().state;
  state.link = model_.GetText(ControlId::编辑框1);
  state.savePath = model_.GetText(ControlId::编辑框2);
  running_ = true;
  engine_.RunDownload();
  running_ = false;
  if (closePending_) {
    closePending_ = false;
    if (platform::WindowView* view = model_.View()) view->CloseWindow();
  }
}

void MainWindow::OnPageLoaded(BrowserBox*, const Text&, int, const Text&) {
  model_.SetText(ControlId::编辑框1, ComposeDirectLink(browser_.GetTitle()));
  model_.SetDisabled(ControlId::按钮_下载, false);
  model_.SetText(ControlId::标签_进度提示, "- 准备就绪");
}

bool MainWindow::RequestClose() {
  if (!OnMayClose()) return false;
  if (running_) {
    closePending_ = true;
    return false;
  }
  return true;
}

}  // namespace tovak::app
