#pragma once
#include <cstdint>

namespace tovak::platform {

struct SystemInfo {
  uint32_t allocationGranularity = 65536;
  uint32_t processorCount = 1;
};

SystemInfo QuerySystemInfo();

}  // namespace tovak::platform
