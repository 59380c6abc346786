#pragma once
// A waitable event with the semantics of the classic kernel event: manual- or auto-reset,
// optionally named so that a second open finds the same event.
#include <cstdint>
#include <memory>
#include <optional>

#include "text/text.h"

namespace tovak::platform {

class SyncEvent;
using EventHandle = std::shared_ptr<SyncEvent>;

class SyncEvent {
 public:
  SyncEvent(bool manualReset, bool initiallySignalled);
  ~SyncEvent();
  SyncEvent(const SyncEvent&) = delete;
  SyncEvent& operator=(const SyncEvent&) = delete;

  bool Set();
  bool Reset();
  // Releases the threads waiting now (one of them for an auto-reset event) and leaves it reset.
  bool Pulse();
  // True when the event was signalled within `timeoutMs` (nullopt: without limit).
  bool Wait(std::optional<uint32_t> timeoutMs);

 private:
  friend EventHandle CreateSyncEvent(bool manualReset, bool initiallySignalled, const Text& name);
  friend EventHandle OpenNamedSyncEvent(const Text& name);
  struct State;
  std::unique_ptr<State> state_;
};

// A named event is shared with every later create or open of that name while it is open.
EventHandle CreateSyncEvent(bool manualReset, bool initiallySignalled, const Text& name = {});
// An event of that name that is still open somewhere, or null.
EventHandle OpenNamedSyncEvent(const Text& name);

}  // namespace tovak::platform
