#pragma once
// The window thread's event pump on GLib's main context.
#include <thread>

#include "platform/event_pump.h"

namespace tovak::platform {

class GtkEventPump final : public EventPump {
 public:
  GtkEventPump();  // the constructing thread runs the window
  bool IsWindowThread() const override;
  void ProcessPending() override;
  void WaitWhileDispatching(std::chrono::milliseconds duration) override;
  void Post(std::function<void()> call) override;

 private:
  std::thread::id windowThread_;
};

}  // namespace tovak::platform
