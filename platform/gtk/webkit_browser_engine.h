#pragma once
// The browser pane over WebKitGTK, loaded at run time and bound by name on first use, so that a
// missing engine ends the program with its own error box.
#include <gtk/gtk.h>

#include "platform/browser_engine.h"
#include "platform/desktop.h"

namespace tovak::platform {

class WebKitBrowserEngine final : public BrowserEngine {
 public:
  // The module's name: $TOVAK_BROWSER_MODULE, else WebKitGTK 4.1's library.
  explicit WebKitBrowserEngine(Desktop& desktop);
  // The engine's view; created on first call.
  GtkWidget* Widget();
  void LoadUrl(const Text& url) override;
  Text Title() override;
  void SetLoadFinishedHandler(LoadFinishedHandler handler) override { handler_ = std::move(handler); }

 private:
  void* Bind(const char* function);
  void OnLoadChanged(int event);
  void OnLoadFailed(const char* uri, const char* reason);
  void OnTitle();
  void RaiseLoadFinished();
  static gboolean RaiseLater(gpointer self);

  Desktop& desktop_;
  std::string module_;
  void* library_ = nullptr;
  GtkWidget* view_ = nullptr;
  LoadFinishedHandler handler_;
  bool finished_ = false, titleSeen_ = false, raised_ = true;
  int result_ = 0;
  Text failure_;
  guint fallback_ = 0;
};

}  // namespace tovak::platform
