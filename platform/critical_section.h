#pragma once
// The system's re-entrant lock for short critical regions: the owning thread may enter again, and
// a contended Enter spins up to the spin count before it blocks.
#include <cstdint>
#include <memory>

namespace tovak::platform {

class CriticalSection {
 public:
  explicit CriticalSection(uint32_t spinCount = 0);
  ~CriticalSection();
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;

  void Enter();
  void Leave();
  bool TryEnter();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace tovak::platform
