#pragma once
// The window's controls that a download writes and reads: the progress bar, the status label and
// the save-path edit box. The window implements them; workers call them from their threads.
#include "text/text.h"

namespace tovak::download {

class DownloadControls {
 public:
  virtual ~DownloadControls() = default;
  // Clamped to 0..100.
  virtual void SetProgressPosition(int position) = 0;
  virtual int ProgressPosition() const = 0;
  virtual void SetStatusText(const Text& text) = 0;
  // What the save-path box holds now, which may differ from the path the run writes.
  virtual Text SavePathText() const = 0;
};

}  // namespace tovak::download
