#pragma once
// What the parts of a download share: the run's record, the window's controls, the desktop's
// message boxes and shell, and the open-file table of the mapped files.
#include "download/download_controls.h"
#include "download/download_state.h"
#include "platform/desktop.h"
#include "storage/mapped_file.h"

namespace tovak::download {

class OpeningBlocks;

struct DownloadContext {
  DownloadState& state;
  DownloadControls& window;
  platform::Desktop& desktop;
  storage::MappedFileTable& files;
  // The first range's blocks asked for with the size probe, for its worker to take (none: null).
  OpeningBlocks* openingBlocks = nullptr;
};

}  // namespace tovak::download
