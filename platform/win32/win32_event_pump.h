#pragma once
// The window thread's event pump on the Win32 message queue. Calls posted from other threads
// travel as messages to a message-only window, so that modal loops (a message box, a nested
// wait) run them too.
#include <windows.h>

#include "platform/event_pump.h"

namespace tovak::platform {

class Win32EventPump final : public EventPump {
 public:
  Win32EventPump();  // the constructing thread runs the window
  ~Win32EventPump() override;
  Win32EventPump(const Win32EventPump&) = delete;
  Win32EventPump& operator=(const Win32EventPump&) = delete;

  bool IsWindowThread() const override;
  // Dispatches what is queued; a quit request stays queued for the program's message loop.
  void ProcessPending() override;
  // A waitable timer and MsgWaitForMultipleObjects: messages are dispatched as they arrive.
  void WaitWhileDispatching(std::chrono::milliseconds duration) override;
  void Post(std::function<void()> call) override;

 private:
  static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  DWORD windowThread_;
  HWND messageWindow_ = nullptr;
};

}  // namespace tovak::platform
