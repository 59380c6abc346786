#pragma once
// Owner of one event handle; empty until Create, OpenExisting or Handle stores one.
#include <cstdint>
#include <optional>

#include "platform/sync_event.h"

namespace tovak {

class Event {
 public:
  Event() = default;
  ~Event() { Close(); }
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  // True when no handle was held; otherwise the handle is given up and closed.
  bool Close();
  // The handle held before the call; a given `newHandle` replaces it without closing it.
  platform::EventHandle Handle();
  platform::EventHandle Handle(platform::EventHandle newHandle);
  bool IsValid() const { return handle_ != nullptr; }
  // Keeps an already held handle. An empty name makes an unnamed event.
  bool Create(bool manualReset = false, bool initialState = false, const Text& name = {});
  bool OpenExisting(const Text& name);
  bool Set();
  bool Reset();
  bool Pulse();
  // Without limit when `timeoutMs` is absent.
  bool Wait(std::optional<uint32_t> timeoutMs = std::nullopt);

 private:
  platform::EventHandle handle_;
};

}  // namespace tovak
