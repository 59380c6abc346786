#include "platform/gtk/webkit_browser_engine.h"

#include <dlfcn.h>

#include <cstdlib>

#include "platform/code_page.h"

namespace tovak::platform {
namespace {

constexpr int kLoadStarted = 0;
constexpr int kLoadFinished = 3;
// A page without a title never announces one; its load counts as finished after this wait.
constexpr guint kTitleWaitMs = 1000;

const char* ModuleName() {
  const char* configured = std::getenv("TOVAK_BROWSER_MODULE");
  return configured && *configured ? configured : "libwebkit2gtk-4.1.so.0";
}

}  // namespace

WebKitBrowserEngine::WebKitBrowserEngine(Desktop& desktop) : desktop_(desktop), module_(ModuleName()) {}

void* WebKitBrowserEngine::Bind(const char* function) {
  if (!library_) library_ = dlopen(module_.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!library_) {
    desktop_.ShowMessage("同目录下无法找到DLL文件:\"" + Utf8ToGbk(module_) + "\".请与作者联系.", "DLL ERROR",
                         MessageButtons::Ok, MessageIcon::Error);
    std::exit(1);
  }
  void* address = dlsym(library_, function);
  if (!address) {
    desktop_.ShowMessage("无法定位DLL文件:\"" + Utf8ToGbk(module_) + "\"当中的\"" + Text(function) + "\"函数.",
                         "DLL ERROR", MessageButtons::Ok, MessageIcon::Error);
    std::exit(1);
  }
  return address;
}

GtkWidget* WebKitBrowserEngine::Widget() {
  if (view_) return view_;
  auto create = reinterpret_cast<GtkWidget* (*)()>(Bind("webkit_web_view_new"));
  view_ = create();
  g_signal_connect(view_, "load-changed", G_CALLBACK(+[](GtkWidget*, int event, gpointer self) {
    static_cast<WebKitBrowserEngine*>(self)->OnLoadChanged(event);
  }), this);
  g_signal_connect(view_, "load-failed", G_CALLBACK(+[](GtkWidget*, int, const char* uri, GError* error, gpointer self) -> gboolean {
    static_cast<WebKitBrowserEngine*>(self)->OnLoadFailed(uri, error ? error->message : "");
    return FALSE;
  }), this);
  g_signal_connect(view_, "notify::title", G_CALLBACK(+[](GObject*, GParamSpec*, gpointer self) {
    static_cast<WebKitBrowserEngine*>(self)->OnTitle();
  }), this);
  return view_;
}

void WebKitBrowserEngine::LoadUrl(const Text& url) {
  GtkWidget* view = Widget();
  auto load = reinterpret_cast<void (*)(GtkWidget*, const char*)>(Bind("webkit_web_view_load_uri"));
  load(view, GbkToUtf8(url).c_str());
}

Text WebKitBrowserEngine::Title() {
  auto title = reinterpret_cast<const char* (*)(GtkWidget*)>(Bind("webkit_web_view_get_title"));
  const char* value = title(Widget());
  return value ? Utf8ToGbk(value) : Text{};
}

void WebKitBrowserEngine::OnLoadChanged(int event) {
  if (event == kLoadStarted) {
    finished_ = titleSeen_ = raised_ = false;
    result_ = 0;
    failure_.clear();
    return;
  }
  if (event != kLoadFinished) return;
  finished_ = true;
  if (titleSeen_ || result_ != 0) {
    RaiseLoadFinished();
  } else if (!fallback_) {
    fallback_ = g_timeout_add(kTitleWaitMs, &WebKitBrowserEngine::RaiseLater, this);
  }
}

void WebKitBrowserEngine::OnLoadFailed(const char*, const char* reason) {
  result_ = 1;
  failure_ = Utf8ToGbk(reason ? reason : "");
}

void WebKitBrowserEngine::OnTitle() {
  if (Title().empty()) return;  // a new load clears the old title first
  titleSeen_ = true;
  if (finished_) RaiseLoadFinished();
}

gboolean WebKitBrowserEngine::RaiseLater(gpointer self) {
  auto* engine = static_cast<WebKitBrowserEngine*>(self);
  engine->fallback_ = 0;
  engine->RaiseLoadFinished();
  return G_SOURCE_REMOVE;
}

void WebKitBrowserEngine::RaiseLoadFinished() {
  if (raised_) return;
  raised_ = true;
  if (fallback_) {
    g_source_remove(fallback_);
    fallback_ = 0;
  }
  auto uri = reinterpret_cast<const char* (*)(GtkWidget*)>(Bind("webkit_web_view_get_uri"));
  const char* current = uri(view_);
  if (handler_) handler_(current ? Utf8ToGbk(current) : Text{}, result_, failure_);
}

}  // namespace tovak::platform
