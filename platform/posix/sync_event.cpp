#include "platform/sync_event.h"

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>

namespace tovak::platform {

struct SyncEvent::State {
  std::mutex mutex;
  std::condition_variable changed;
  bool manualReset;
  bool signalled;
  // Pulses release the waiters that are waiting at that moment: each pulse bumps the generation.
  uint64_t generation = 0;
  int waiters = 0;
  int pulseReleases = 0;
};

SyncEvent::SyncEvent(bool manualReset, bool initiallySignalled) : state_(new State) {
  state_->manualReset = manualReset;
  state_->signalled = initiallySignalled;
}

SyncEvent::~SyncEvent() = default;

bool SyncEvent::Set() {
  std::lock_guard lock(state_->mutex);
  state_->signalled = true;
  if (state_->manualReset) {
    state_->changed.notify_all();
  } else {
    state_->changed.notify_one();
  }
  return true;
}

bool SyncEvent::Reset() {
  std::lock_guard lock(state_->mutex);
  state_->signalled = false;
  return true;
}

bool SyncEvent::Pulse() {
  std::lock_guard lock(state_->mutex);
  if (state_->waiters > 0) {
    ++state_->generation;
    state_->pulseReleases = state_->manualReset ? state_->waiters : 1;
    state_->changed.notify_all();
  }
  state_->signalled = false;
  return true;
}

bool SyncEvent::Wait(std::optional<uint32_t> timeoutMs) {
  std::unique_lock lock(state_->mutex);
  State& s = *state_;
  const uint64_t generation = s.generation;
  auto ready = [&] { return s.signalled || (s.generation != generation && s.pulseReleases > 0); };
  ++s.waiters;
  bool got;
  if (!timeoutMs) {
    s.changed.wait(lock, ready);
    got = true;
  } else {
    got = s.changed.wait_for(lock, std::chrono::milliseconds(*timeoutMs), ready);
  }
  --s.waiters;
  if (got) {
    if (s.generation != generation && s.pulseReleases > 0 && !s.signalled) {
      --s.pulseReleases;
    } else if (!s.manualReset) {
      s.signalled = false;
    }
  }
  return got;
}

namespace {
std::mutex namesMutex;
std::map<Text, std::weak_ptr<SyncEvent>>& NamedEvents() {
  static auto* names = new std::map<Text, std::weak_ptr<SyncEvent>>;
  return *names;
}
}  // namespace

EventHandle CreateSyncEvent(bool manualReset, bool initiallySignalled, const Text& name) {
  if (name.empty()) return std::make_shared<SyncEvent>(manualReset, initiallySignalled);
  std::lock_guard lock(namesMutex);
  auto& names = NamedEvents();
  if (auto existing = names[name].lock()) return existing;
  auto created = std::make_shared<SyncEvent>(manualReset, initiallySignalled);
  names[name] = created;
  return created;
}

EventHandle OpenNamedSyncEvent(const Text& name) {
  std::lock_guard lock(namesMutex);
  auto& names = NamedEvents();
  auto it = names.find(name);
  if (it == names.end()) return nullptr;
  EventHandle event = it->second.lock();
  if (!event) names.erase(it);
  return event;
}

}  // namespace tovak::platform
