#include "concurrency/event.h"

namespace tovak {

bool Event::Close() {
  handle_.reset();
  return true;
}

platform::EventHandle Event::Handle() { return handle_; }

platform::EventHandle Event::Handle(platform::EventHandle newHandle) {
  platform::EventHandle previous = std::move(handle_);
  handle_ = std::move(newHandle);
  return previous;
}

bool Event::Create(bool manualReset, bool initialState, const Text& name) {
  if (handle_) return true;
  handle_ = platform::CreateSyncEvent(manualReset, initialState, name);
  return handle_ != nullptr;
}

bool Event::OpenExisting(const Text& name) {
  if (handle_) return true;
  handle_ = platform::OpenNamedSyncEvent(name);
  return handle_ != nullptr;
}

bool Event::Set() { return handle_ && handle_->Set(); }
bool Event::Reset() { return handle_ && handle_->Reset(); }
bool Event::Pulse() { return handle_ && handle_->Pulse(); }
bool Event::Wait(std::optional<uint32_t> timeoutMs) { return handle_ && handle_->Wait(timeoutMs); }

}  // namespace tovak
