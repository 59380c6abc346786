#include <windows.h>

#include "platform/critical_section.h"

namespace tovak::platform {

struct CriticalSection::State {
  CRITICAL_SECTION section;
};

CriticalSection::CriticalSection(uint32_t spinCount) : state_(new State) {
  if (spinCount == 0 || !InitializeCriticalSectionAndSpinCount(&state_->section, spinCount))
    InitializeCriticalSection(&state_->section);
}

CriticalSection::~CriticalSection() { DeleteCriticalSection(&state_->section); }

void CriticalSection::Enter() { EnterCriticalSection(&state_->section); }
void CriticalSection::Leave() { LeaveCriticalSection(&state_->section); }
bool CriticalSection::TryEnter() { return TryEnterCriticalSection(&state_->section) != 0; }

}  // namespace tovak::platform
