#include <windows.h>

#include "platform/system_info.h"

namespace tovak::platform {

SystemInfo QuerySystemInfo() {
  SYSTEM_INFO system;
  GetSystemInfo(&system);
  SystemInfo info;
  info.allocationGranularity = system.dwAllocationGranularity;
  info.processorCount = system.dwNumberOfProcessors > 0 ? system.dwNumberOfProcessors : 1;
  return info;
}

}  // namespace tovak::platform
