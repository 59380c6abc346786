#pragma once
// The window thread's event pump. The core calls the free functions below; the program installs
// the pump of its front end (GTK, or the headless one in tests) before the window exists.
#include <chrono>
#include <functional>

namespace tovak::platform {

class EventPump {
 public:
  virtual ~EventPump() = default;
  // Whether the calling thread runs the window (the only thread whose pump dispatches).
  virtual bool IsWindowThread() const = 0;
  // Dispatches every event queued for the window thread and returns; on other threads: nothing.
  virtual void ProcessPending() = 0;
  // Waits `duration` on the window thread while dispatching events.
  virtual void WaitWhileDispatching(std::chrono::milliseconds duration) = 0;
  // Queues `call` to run on the window thread; callable from any thread.
  virtual void Post(std::function<void()> call) = 0;
};

// Installs `pump` for the process (nullptr uninstalls). The pump must outlive its use.
void InstallEventPump(EventPump* pump);
EventPump* InstalledEventPump();

void ProcessPendingEvents();
bool IsWindowThread();
void WaitWhileDispatching(std::chrono::milliseconds duration);

}  // namespace tovak::platform
