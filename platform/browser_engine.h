#pragma once
// An embedded browser: load an address, report the end of each load on the window's thread, and
// give the title of the page shown.
#include <functional>

#include "text/text.h"

namespace tovak::platform {

class BrowserEngine {
 public:
  // url, the engine's result code (0 success), failure reason
  using LoadFinishedHandler = std::function<void(const Text& url, int loadResult, const Text& failureReason)>;

  virtual ~BrowserEngine() = default;
  virtual void LoadUrl(const Text& url) = 0;
  virtual Text Title() = 0;
  virtual void SetLoadFinishedHandler(LoadFinishedHandler handler) = 0;
};

}  // namespace tovak::platform
