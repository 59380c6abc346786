#pragma once
// The window's embedded browser control over the platform's browser engine.
#include <functional>

#include "platform/browser_engine.h"

namespace tovak::app {

class BrowserBox {
 public:
  // Raised on the window's thread when a load has ended, successfully or not.
  using LoadFinished = std::function<void(BrowserBox* webView, const Text& url, int loadResult,
                                          const Text& failureReason)>;

  explicit BrowserBox(platform::BrowserEngine& engine);
  void LoadUrl(const Text& url);
  // The title of the page shown; empty when there is none.
  Text GetTitle();
  void On载入完成(LoadFinished handler);

 private:
  platform::BrowserEngine& engine_;
};

}  // namespace tovak::app
