#pragma once
// The browser pane over the engine module "node.dll" of the program's directory, loaded on first
// use and bound by name one function at a time; a missing module or function ends the program
// with its own "DLL ERROR" box.
#include <windows.h>

#include "platform/browser_engine.h"
#include "platform/desktop.h"
#include "platform/win32/wke_api.h"

namespace tovak::platform {

class NodeBrowserEngine final : public BrowserEngine {
 public:
  explicit NodeBrowserEngine(Desktop& desktop);
  // Creates the engine's web view in `host`, sized to its client area; the calling thread
  // receives the engine's events.
  void Attach(HWND host);
  void LoadUrl(const Text& url) override;
  Text Title() override;
  void SetLoadFinishedHandler(LoadFinishedHandler handler) override { handler_ = std::move(handler); }

 private:
  template <typename Function>
  Function Bind(const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(BindAddress(name)));
  }
  FARPROC BindAddress(const char* name);
  Text Read(wkeString string);
  static void __cdecl OnLoadingFinish(wkeWebView webView, void* self, wkeString url, int result,
                                      wkeString failedReason);

  Desktop& desktop_;
  HMODULE module_ = nullptr;
  wkeWebView view_ = nullptr;
  LoadFinishedHandler handler_;
};

}  // namespace tovak::platform
