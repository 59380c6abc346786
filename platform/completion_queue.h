#pragma once
// A first-in, first-out queue of three-value packets: posts never block, takes block up to a
// time-out.
#include <cstdint>
#include <memory>
#include <optional>

namespace tovak::platform {

struct CompletionPacket {
  uintptr_t overlapped = 0;
  uint32_t bytes = 0;
  uintptr_t key = 0;
};

class CompletionQueue {
 public:
  CompletionQueue();
  ~CompletionQueue();
  CompletionQueue(const CompletionQueue&) = delete;
  CompletionQueue& operator=(const CompletionQueue&) = delete;

  bool Post(const CompletionPacket& packet);
  // Removes the oldest packet; false when none arrived within `timeoutMs` (nullopt: no limit).
  bool Take(CompletionPacket& packet, std::optional<uint32_t> timeoutMs);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace tovak::platform
