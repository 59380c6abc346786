#pragma once
// A headless download engine against the local range server, with drive D in a temporary
// directory and message boxes answered from a script.
#include <gtest/gtest.h>

#include <mutex>
#include <vector>

#include "app/window_model.h"
#include "download/download_run.h"
#include "download/range_files.h"
#include "platform/headless/headless.h"
#include "tests/support/range_server.h"
#include "tests/support/test_env.h"

namespace tovak::testing {

// Keeps every text the progress label showed.
class RecordingView final : public platform::WindowView {
 public:
  explicit RecordingView(app::WindowModel& model) : model_(model) {}
  void ControlChanged(platform::ControlId control) override {
    if (control != platform::ControlId::标签_进度提示) return;
    Text text = model_.GetText(control);
    std::lock_guard lock(mutex_);
    if (labels_.empty() || labels_.back() != text) labels_.push_back(text);
    if (onLabel_) onLabel_(text);
  }
  int ScreenWidth() override { return 1280; }
  void CloseWindow() override { closed_ = true; }
  std::vector<Text> Labels() {
    std::lock_guard lock(mutex_);
    return labels_;
  }
  void OnLabel(std::function<void(const Text&)> observer) { onLabel_ = std::move(observer); }
  bool Closed() const { return closed_; }

 private:
  app::WindowModel& model_;
  std::mutex mutex_;
  std::vector<Text> labels_;
  std::function<void(const Text&)> onLabel_;
  bool closed_ = false;
};

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::InstallEventPump(&pump);
    window.AttachView(&view);
    server.SetTitle("1.4.2");
    ASSERT_TRUE(server.Start());
    window.SetText(platform::ControlId::编辑框2, kSavePath);
    // The tests count the requests that reach the server; a probe slowed by a loaded machine
    // must not make it seem far.
    state.firstBlocks = download::DownloadState::FirstBlocks::AfterTheProbe;
  }
  void TearDown() override {
    state.pool.Close(1);
    window.AttachView(nullptr);
    platform::InstallEventPump(nullptr);
  }
  std::string Link() { return server.BaseUrl() + "/releases/download/v1.4.2/tovak.security.zip"; }
  // Downloads `content` from the server into the save path.
  void Download(const std::string& content) {
    server.SetFile(content);
    state.link = Link();
    state.savePath = kSavePath;
    engine.RunDownload();
  }
  std::string Saved() { return ReadFile(drive / "target.zip"); }
  // Serves `content` as a single planned range, for a test that runs its worker itself.
  void PlanOneRange(const std::string& content) {
    server.SetFile(content);
    state.link = Link();
    state.blockSize = download::kBlockSize;
    state.tempRoot = download::kTempRoot;
    state.totalSize = static_cast<int64_t>(content.size());
    state.segments = {{0, state.totalSize}};
    state.plannedCount = 1;
  }
  // What the run had left when the retry prompt showed: the segment's ledger and the count.
  struct AtThePrompt {
    download::ResumeLedger ledger;
    int64_t downloaded = -1;
  };
  // Answers the retry prompt with Yes, noting what segment `n` left at that moment.
  void RetryOnce(int32_t n, AtThePrompt& seen) {
    desktop.OnShow([this, n, &seen](const platform::ShownMessage&) {
      seen.ledger = download::ReadLedger(download::LedgerPath(download::kTempRoot, n));
      LockGuard guard(state.progressLock);
      seen.downloaded = state.downloaded;
    });
    desktop.Script({platform::kAnswerYes});
  }
  std::vector<Text> MessageTexts() {
    std::vector<Text> texts;
    for (auto& message : desktop.Messages()) texts.push_back(message.text);
    return texts;
  }

  static constexpr const char* kSavePath = "D:\\target.zip";
  TempDrive drive;
  RangeServer server;
  platform::HeadlessEventPump pump;
  platform::ScriptedDesktop desktop;
  download::DownloadState state;
  storage::MappedFileTable files{65536};
  app::WindowModel window;
  RecordingView view{window};
  download::DownloadEngine engine{{state, window, desktop, files}};
};

}  // namespace tovak::testing
