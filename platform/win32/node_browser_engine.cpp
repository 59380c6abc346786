#include "platform/win32/node_browser_engine.h"

#include <cstdlib>

#include "platform/program_location.h"
#include "platform/win32/wide_text.h"

namespace tovak::platform {
namespace {

const char* const kModuleName = "node.dll";

}  // namespace

NodeBrowserEngine::NodeBrowserEngine(Desktop& desktop) : desktop_(desktop) {}

FARPROC NodeBrowserEngine::BindAddress(const char* name) {
  if (!module_) {
    // By its full path: the module of the program's own directory, never one found elsewhere.
    std::wstring path = Wide(ProgramDirectory() + kDirectorySeparator + kModuleName);
    module_ = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  }
  if (!module_) {
    desktop_.ShowMessage("同目录下无法找到DLL文件:\"" + Text(kModuleName) + "\".请与作者联系.", "DLL ERROR",
                         MessageButtons::Ok, MessageIcon::Error);
    std::exit(1);
  }
  FARPROC address = GetProcAddress(module_, name);
  if (!address) {
    desktop_.ShowMessage("无法定位DLL文件:\"" + Text(kModuleName) + "\"当中的\"" + Text(name) + "\"函数.",
                         "DLL ERROR", MessageButtons::Ok, MessageIcon::Error);
    std::exit(1);
  }
  return address;
}

void NodeBrowserEngine::Attach(HWND host) {
  if (!Bind<wkeIsInitializeFunction>("wkeIsInitialize")()) Bind<wkeInitializeFunction>("wkeInitialize")();
  view_ = Bind<wkeCreateWebViewFunction>("wkeCreateWebView")();
  Bind<wkeSetHandleFunction>("wkeSetHandle")(view_, host);
  RECT client{};
  GetClientRect(host, &client);
  Bind<wkeResizeFunction>("wkeResize")(view_, client.right - client.left, client.bottom - client.top);
  Bind<wkeOnLoadingFinishFunction>("wkeOnLoadingFinish")(view_, &NodeBrowserEngine::OnLoadingFinish, this);
}

void NodeBrowserEngine::LoadUrl(const Text& url) {
  Bind<wkeLoadURLWFunction>("wkeLoadURLW")(view_, Wide(url).c_str());
}

Text NodeBrowserEngine::Title() {
  const wchar_t* title = Bind<wkeGetTitleWFunction>("wkeGetTitleW")(view_);
  return title ? FromWide(title, wcslen(title)) : Text{};
}

Text NodeBrowserEngine::Read(wkeString string) {
  const wchar_t* wide = string ? Bind<wkeGetStringWFunction>("wkeGetStringW")(string) : nullptr;
  return wide ? FromWide(wide, wcslen(wide)) : Text{};
}

void __cdecl NodeBrowserEngine::OnLoadingFinish(wkeWebView, void* self, wkeString url, int result,
                                                wkeString failedReason) {
  auto* engine = static_cast<NodeBrowserEngine*>(self);
  if (engine->handler_) engine->handler_(engine->Read(url), result, engine->Read(failedReason));
}

}  // namespace tovak::platform
