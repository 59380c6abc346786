#include "app/program.h"

namespace tovak::app {

Program::Program(platform::Desktop& desktop, platform::BrowserEngine& browserEngine)
    : systemInfo_(platform::QuerySystemInfo()),
      mappedFileTable_(systemInfo_.allocationGranularity),
      engine_({state_, model_, desktop, mappedFileTable_}),
      browser_(browserEngine),
      mainWindow_(model_, browser_, engine_) {}

}  // namespace tovak::app
