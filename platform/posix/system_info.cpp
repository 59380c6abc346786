#include "platform/system_info.h"

#include <unistd.h>

namespace tovak::platform {

SystemInfo QuerySystemInfo() {
  SystemInfo info;
  long page = ::sysconf(_SC_PAGESIZE);
  // Views start on 64 KiB boundaries, a multiple of every page size this runs on.
  if (page > 65536) info.allocationGranularity = static_cast<uint32_t>(page);
  long processors = ::sysconf(_SC_NPROCESSORS_ONLN);
  info.processorCount = processors > 0 ? static_cast<uint32_t>(processors) : 1;
  return info;
}

}  // namespace tovak::platform
