#include "platform/event_pump.h"

#include <atomic>
#include <thread>

namespace tovak::platform {
namespace {
std::atomic<EventPump*> installedPump{nullptr};
}

void InstallEventPump(EventPump* pump) { installedPump.store(pump); }
EventPump* InstalledEventPump() { return installedPump.load(); }

void ProcessPendingEvents() {
  if (EventPump* pump = installedPump.load(); pump && pump->IsWindowThread()) pump->ProcessPending();
}

bool IsWindowThread() {
  EventPump* pump = installedPump.load();
  return pump && pump->IsWindowThread();
}

void WaitWhileDispatching(std::chrono::milliseconds duration) {
  EventPump* pump = installedPump.load();
  if (pump && pump->IsWindowThread()) {
    pump->WaitWhileDispatching(duration);
  } else {
    std::this_thread::sleep_for(duration);
  }
}

}  // namespace tovak::platform
