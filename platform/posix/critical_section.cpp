// A recursive mutex with a bounded spin before it blocks.
#include <mutex>

#include "platform/critical_section.h"

namespace tovak::platform {

struct CriticalSection::State {
  std::recursive_mutex mutex;
  uint32_t spinCount = 0;
};

CriticalSection::CriticalSection(uint32_t spinCount) : state_(new State) { state_->spinCount = spinCount; }
CriticalSection::~CriticalSection() = default;

void CriticalSection::Enter() {
  for (uint32_t i = 0; i < state_->spinCount; ++i)
    if (state_->mutex.try_lock()) return;
  state_->mutex.lock();
}

void CriticalSection::Leave() { state_->mutex.unlock(); }
bool CriticalSection::TryEnter() { return state_->mutex.try_lock(); }

}  // namespace tovak::platform
