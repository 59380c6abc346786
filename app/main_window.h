#pragma once
// The main window's handlers: start-up, the expand/collapse toggle, the close guard, the
// download button and release discovery.
#include "app/browser_box.h"
#include "app/window_model.h"
#include "download/download_run.h"

namespace tovak::app {

class MainWindow {
 public:
  static constexpr int kCollapsedWidth = 466;
  static constexpr int kExpandedWidth = 885;

  MainWindow(WindowModel& model, BrowserBox& browser, download::DownloadEngine& engine);

  void OnWindowCreated();
  bool OnMayClose();
  void OnToggleClicked();
  void OnDownloadClicked();
  void OnPageLoaded(BrowserBox* webView, const Text& url, int loadResult, const Text& failureReason);

  // The view's close request: true when the window may close now. A close asked for while a run
  // is joining its file is carried out when the run has ended.
  bool RequestClose();
  bool IsRunning() const { return running_; }

  WindowModel& Model() { return model_; }

 private:
  WindowModel& model_;
  BrowserBox& browser_;
  download::DownloadEngine& engine_;
  bool running_ = false;
  bool closePending_ = false;
};

// The default save path: the program's directory when it is writable, else the user's downloads.
Text DefaultSavePath();

}  // namespace tovak::app
