#pragma once
// A front end without a display: an event queue for the window's thread, message boxes answered
// from a script, a recording shell and a scripted browser.
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>
#include <condition_variable>

#include "platform/browser_engine.h"
#include "platform/desktop.h"
#include "platform/event_pump.h"

namespace tovak::platform {

class HeadlessEventPump final : public EventPump {
 public:
  // The constructing thread is the window's thread.
  HeadlessEventPump();
  bool IsWindowThread() const override;
  void ProcessPending() override;
  void WaitWhileDispatching(std::chrono::milliseconds duration) override;
  void Post(std::function<void()> call) override;

 private:
  std::thread::id windowThread_;
  std::mutex mutex_;
  std::condition_variable posted_;
  std::deque<std::function<void()>> queue_;
};

struct ShownMessage {
  Text text;
  Text caption;
  MessageButtons buttons;
  MessageIcon icon;
};

class ScriptedDesktop final : public Desktop {
 public:
  // Answers taken in order; once they run out, `fallback` answers.
  void Script(std::vector<int> answers, int fallback = kAnswerNo);
  // Called on the answering thread just before each answer, e.g. to look at the disk then.
  void OnShow(std::function<void(const ShownMessage&)> observer);
  int ShowMessage(const Text& text, const Text& caption, MessageButtons buttons, MessageIcon icon) override;
  void OpenWithShell(const Text& path) override;
  std::vector<ShownMessage> Messages();
  std::vector<Text> Opened();

 private:
  std::mutex mutex_;
  std::deque<int> answers_;
  int fallback_ = kAnswerNo;
  std::function<void(const ShownMessage&)> observer_;
  std::vector<ShownMessage> messages_;
  std::vector<Text> opened_;
};

class ScriptedBrowserEngine final : public BrowserEngine {
 public:
  void LoadUrl(const Text& url) override { loaded_.push_back(url); }
  Text Title() override { return title_; }
  void SetLoadFinishedHandler(LoadFinishedHandler handler) override { handler_ = std::move(handler); }
  // Shows a page with `title` and raises the end of its load.
  void FinishLoad(const Text& title, int result = 0);
  const std::vector<Text>& Loaded() const { return loaded_; }

 private:
  std::vector<Text> loaded_;
  Text title_;
  LoadFinishedHandler handler_;
};

}  // namespace tovak::platform
