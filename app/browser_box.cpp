#include "app/browser_box.h"

namespace tovak::app {

BrowserBox::BrowserBox(platform::BrowserEngine& engine) : engine_(engine) {}

void BrowserBox::LoadUrl(const Text& url) { engine_.LoadUrl(url); }

Text BrowserBox::GetTitle() { return engine_.Title(); }

void BrowserBox::On载入完成(LoadFinished handler) {
  engine_.SetLoadFinishedHandler(
      [this, handler = std::move(handler)](const Text& url, int loadResult, const Text& failureReason) {
        handler(this, url, loadResult, failureReason);
      });
}

}  // namespace tovak::app
