#include "platform/completion_queue.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace tovak::platform {

struct CompletionQueue::State {
  std::mutex mutex;
  std::condition_variable arrived;
  std::deque<CompletionPacket> packets;
};

CompletionQueue::CompletionQueue() : state_(new State) {}
CompletionQueue::~CompletionQueue() = default;

bool CompletionQueue::Post(const CompletionPacket& packet) {
  {
    std::lock_guard lock(state_->mutex);
    state_->packets.push_back(packet);
  }
  state_->arrived.notify_one();
  return true;
}

bool CompletionQueue::Take(CompletionPacket& packet, std::optional<uint32_t> timeoutMs) {
  std::unique_lock lock(state_->mutex);
  auto ready = [&] { return !state_->packets.empty(); };
  if (!timeoutMs) {
    state_->arrived.wait(lock, ready);
  } else if (!state_->arrived.wait_for(lock, std::chrono::milliseconds(*timeoutMs), ready)) {
    return false;
  }
  packet = state_->packets.front();
  state_->packets.pop_front();
  return true;
}

}  // namespace tovak::platform
