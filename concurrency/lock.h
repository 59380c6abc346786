#pragma once
// A re-entrant mutual-exclusion lock: the owning thread may enter again and leaves as often.
#include <cstdint>

#include "platform/critical_section.h"

namespace tovak {

class Lock {
 public:
  Lock() = default;
  // Spins up to `spinCount` attempts before it blocks, for locks held only for a few instructions.
  explicit Lock(uint32_t spinCount) : section_(spinCount) {}
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;

  void Enter() { section_.Enter(); }
  void Leave() { section_.Leave(); }
  bool TryEnter() { return section_.TryEnter(); }

 private:
  platform::CriticalSection section_;
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
