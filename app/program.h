#pragma once
// The program-wide objects, created once in this order and destroyed in reverse: the download
// state (with its pool and progress lock), the mapped-file table, the record queue, the window
// model, the download engine, the browser box and the main window. Each front end makes one
// over its desktop and browser engine, attaches its view to Model() and runs its loop.
#include "app/browser_box.h"
#include "app/main_window.h"
#include "app/window_model.h"
#include "concurrency/record_queue.h"
#include "download/download_run.h"
#include "platform/desktop.h"
#include "platform/system_info.h"
#include "storage/mapped_file.h"

namespace tovak::app {

class Program {
 public:
  Program(platform::Desktop& desktop, platform::BrowserEngine& browserEngine);
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  WindowModel& Model() { return model_; }
  MainWindow& Window() { return mainWindow_; }

 private:
  platform::SystemInfo systemInfo_;
  download::DownloadState state_;
  storage::MappedFileTable mappedFileTable_;
  RecordQueue recordQueue_;  // part of the toolkit's program-wide set; nothing posts to it yet
  WindowModel model_;
  download::DownloadEngine engine_;
  BrowserBox browser_;
  MainWindow mainWindow_;
};

}  // namespace tovak::app
