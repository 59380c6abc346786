// Kernel events; a named event is found again by its name as long as a handle to it is open.
#include <windows.h>

#include "platform/sync_event.h"
#include "platform/win32/wide_text.h"

namespace tovak::platform {

struct SyncEvent::State {
  HANDLE handle = nullptr;
};

SyncEvent::SyncEvent(bool manualReset, bool initiallySignalled) : state_(new State) {
  state_->handle = CreateEventW(nullptr, manualReset, initiallySignalled, nullptr);
}

SyncEvent::~SyncEvent() {
  if (state_->handle) CloseHandle(state_->handle);
}

bool SyncEvent::Set() { return state_->handle && SetEvent(state_->handle); }
bool SyncEvent::Reset() { return state_->handle && ResetEvent(state_->handle); }
bool SyncEvent::Pulse() { return state_->handle && PulseEvent(state_->handle); }

bool SyncEvent::Wait(std::optional<uint32_t> timeoutMs) {
  return state_->handle && WaitForSingleObject(state_->handle, timeoutMs ? *timeoutMs : INFINITE) == WAIT_OBJECT_0;
}

EventHandle CreateSyncEvent(bool manualReset, bool initiallySignalled, const Text& name) {
  auto event = std::make_shared<SyncEvent>(manualReset, initiallySignalled);
  if (name.empty()) return event->state_->handle ? event : nullptr;
  CloseHandle(event->state_->handle);
  event->state_->handle = CreateEventW(nullptr, manualReset, initiallySignalled, Wide(name).c_str());
  return event->state_->handle ? event : nullptr;
}

EventHandle OpenNamedSyncEvent(const Text& name) {
  HANDLE handle = OpenEventW(EVENT_MODIFY_STATE | SYNCHRONIZE, FALSE, Wide(name).c_str());
  if (!handle) return nullptr;
  auto event = std::make_shared<SyncEvent>(true, false);
  CloseHandle(event->state_->handle);
  event->state_->handle = handle;
  return event;
}

}  // namespace tovak::platform
