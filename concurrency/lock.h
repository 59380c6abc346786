#pragma once
// A re-entrant mutual-exclusion lock: the owning thread may enter again and leaves as often.
#include <cstdint>
#include <mutex>

namespace tovak {

class Lock {
 public:
  Lock() = default;
  // Spins up to `spinCount` attempts before it blocks, for locks held only for a few instructions.
  explicit Lock(uint32_t spinCount) : spinCount_(spinCount) {}
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;

  void Enter();
  void Leave();
  bool TryEnter();

 private:
  std::recursive_mutex mutex_;
  uint32_t spinCount_ = 0;
};

// Holds a Lock for a scope.
class LockGuard {
 public:
  explicit LockGuard(Lock& lock) : lock_(lock) { lock_.Enter(); }
  ~LockGuard() { lock_.Leave(); }
  LockGuard(const LockGuard&) = delete;
  LockGuard& operator=(const LockGuard&) = delete;

 private:
  Lock& lock_;
};

}  // namespace tovak
