#include "concurrency/lock.h"

namespace tovak {

void Lock::Enter() {
  for (uint32_t i = 0; i < spinCount_; ++i)
    if (mutex_.try_lock()) return;
  mutex_.lock();
}

void Lock::Leave() { mutex_.unlock(); }

bool Lock::TryEnter() { return mutex_.try_lock(); }

}  // namespace tovak
