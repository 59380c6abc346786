#include "platform/headless/headless.h"

namespace tovak::platform {

HeadlessEventPump::HeadlessEventPump() : windowThread_(std::this_thread::get_id()) {}

bool HeadlessEventPump::IsWindowThread() const { return std::this_thread::get_id() == windowThread_; }

void HeadlessEventPump::ProcessPending() {
  for (;;) {
    std::function<void()> call;
    {
      std::lock_guard lock(mutex_);
      if (queue_.empty()) return;
      call = std::move(queue_.front());
      queue_.pop_front();
    }
    call();
  }
}

void HeadlessEventPump::WaitWhileDispatching(std::chrono::milliseconds duration) {
  auto deadline = std::chrono::steady_clock::now() + duration;
  for (;;) {
    ProcessPending();
    std::unique_lock lock(mutex_);
    if (!posted_.wait_until(lock, deadline, [&] { return !queue_.empty(); })) return;
  }
}

void HeadlessEventPump::Post(std::function<void()> call) {
  {
    std::lock_guard lock(mutex_);
    queue_.push_back(std::move(call));
  }
  posted_.notify_all();
}

void ScriptedDesktop::Script(std::vector<int> answers, int fallback) {
  std::lock_guard lock(mutex_);
  answers_.assign(answers.begin(), answers.end());
  fallback_ = fallback;
}

void ScriptedDesktop::OnShow(std::function<void(const ShownMessage&)> observer) {
  std::lock_guard lock(mutex_);
  observer_ = std::move(observer);
}

int ScriptedDesktop::ShowMessage(const Text& text, const Text& caption, MessageButtons buttons, MessageIcon icon) {
  ShownMessage message{text, caption, buttons, icon};
  std::function<void(const ShownMessage&)> observer;
  int answer;
  {
    std::lock_guard lock(mutex_);
    messages_.push_back(message);
    observer = observer_;
    if (answers_.empty()) {
      answer = buttons == MessageButtons::Ok ? kAnswerOk : fallback_;
    } else {
      answer = answers_.front();
      answers_.pop_front();
    }
  }
  if (observer) observer(message);
  return answer;
}

void ScriptedDesktop::OpenWithShell(const Text& path) {
  std::lock_guard lock(mutex_);
  opened_.push_back(path);
}

std::vector<ShownMessage> ScriptedDesktop::Messages() {
  std::lock_guard lock(mutex_);
  return messages_;
}

std::vector<Text> ScriptedDesktop::Opened() {
  std::lock_guard lock(mutex_);
  return opened_;
}

void ScriptedBrowserEngine::FinishLoad(const Text& title, int result) {
  title_ = title;
  if (handler_) handler_(loaded_.empty() ? Text{} : loaded_.back(), result, {});
}

}  // namespace tovak::platform
