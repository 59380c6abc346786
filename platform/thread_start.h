#pragma once
// Starting threads with a stack reservation; a handle that is dropped detaches its thread.
#include <cstdint>
#include <functional>
#include <memory>

namespace tovak::platform {

class ThreadHandle {
 public:
  virtual ~ThreadHandle() = default;
  // Waits until the thread has ended.
  virtual void Join() = 0;
};

// Starts `body` on a new thread; null when the thread cannot be started. A `stackReservation`
// of 0 takes the system's default.
std::unique_ptr<ThreadHandle> StartThread(std::function<void()> body, uint32_t stackReservation);

}  // namespace tovak::platform
