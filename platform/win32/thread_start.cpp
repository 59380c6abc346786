// Threads with CreateThread; the size given is a reservation of address space, not a commit.
#include <windows.h>

#include "platform/thread_start.h"

namespace tovak::platform {
namespace {

DWORD WINAPI RunBody(void* argument) {
  std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(argument));
  (*body)();
  return 0;
}

class Win32Thread final : public ThreadHandle {
 public:
  explicit Win32Thread(HANDLE thread) : thread_(thread) {}
  ~Win32Thread() override { CloseHandle(thread_); }
  void Join() override { WaitForSingleObject(thread_, INFINITE); }

 private:
  HANDLE thread_;
};

}  // namespace

std::unique_ptr<ThreadHandle> StartThread(std::function<void()> body, uint32_t stackReservation) {
  auto* argument = new std::function<void()>(std::move(body));
  HANDLE thread = CreateThread(nullptr, stackReservation, RunBody, argument,
                               stackReservation > 0 ? STACK_SIZE_PARAM_IS_A_RESERVATION : 0, nullptr);
  if (!thread) {
    delete argument;
    return nullptr;
  }
  return std::make_unique<Win32Thread>(thread);
}

}  // namespace tovak::platform
