// The queue is an I/O completion port that no file is attached to: packets are posted and taken.
#include <windows.h>

#include "platform/completion_queue.h"

namespace tovak::platform {

struct CompletionQueue::State {
  HANDLE port = nullptr;
};

CompletionQueue::CompletionQueue() : state_(new State) {
  state_->port = CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 0);
}

CompletionQueue::~CompletionQueue() {
  if (state_->port) CloseHandle(state_->port);
}

bool CompletionQueue::Post(const CompletionPacket& packet) {
  return state_->port && PostQueuedCompletionStatus(state_->port, packet.bytes, static_cast<ULONG_PTR>(packet.key),
                                                    reinterpret_cast<LPOVERLAPPED>(packet.overlapped));
}

bool CompletionQueue::Take(CompletionPacket& packet, std::optional<uint32_t> timeoutMs) {
  DWORD bytes = 0;
  ULONG_PTR key = 0;
  LPOVERLAPPED overlapped = nullptr;
  // A posted packet with a null overlapped pointer still dequeues as a success.
  if (!state_->port ||
      !GetQueuedCompletionStatus(state_->port, &bytes, &key, &overlapped, timeoutMs ? *timeoutMs : INFINITE))
    return false;
  packet = {reinterpret_cast<uintptr_t>(overlapped), bytes, static_cast<uintptr_t>(key)};
  return true;
}

}  // namespace tovak::platform
