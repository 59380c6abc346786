#include "platform/thread_start.h"

#include <pthread.h>

#include <climits>

namespace tovak::platform {
namespace {

// Thread stacks here are reserved address space, committed as they are touched; below this floor
// the C and C++ runtimes (and the sanitizers) do not fit, so a smaller reservation is raised.
constexpr size_t kMinimumStack = 1024 * 1024;

void* RunBody(void* argument) {
  std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(argument));
  (*body)();
  return nullptr;
}

class PosixThread final : public ThreadHandle {
 public:
  explicit PosixThread(pthread_t thread) : thread_(thread) {}
  ~PosixThread() override {
    if (!joined_) pthread_detach(thread_);
  }
  void Join() override {
    if (!joined_) pthread_join(thread_, nullptr);
    joined_ = true;
  }

 private:
  pthread_t thread_;
  bool joined_ = false;
};

}  // namespace

std::unique_ptr<ThreadHandle> StartThread(std::function<void()> body, uint32_t stackReservation) {
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  if (stackReservation > 0) {
    size_t size = stackReservation < kMinimumStack ? kMinimumStack : stackReservation;
    pthread_attr_setstacksize(&attributes, size);
  }
  auto* argument = new std::function<void()>(std::move(body));
  pthread_t thread;
  int rc = pthread_create(&thread, &attributes, RunBody, argument);
  pthread_attr_destroy(&attributes);
  if (rc != 0) {
    delete argument;
    return nullptr;
  }
  return std::make_unique<PosixThread>(thread);
}

}  // namespace tovak::platform
