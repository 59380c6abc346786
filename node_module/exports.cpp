// The functions that the program binds by name.
#include "node_module/web_view.h"

#define NODE_EXPORT extern "C" __declspec(dllexport)

namespace {
tovak::node::WebView* ViewOf(wkeWebView webView) { return reinterpret_cast<tovak::node::WebView*>(webView); }
}  // namespace

NODE_EXPORT bool __cdecl wkeIsInitialize() { return tovak::node::IsEngineInitialized(); }
NODE_EXPORT void __cdecl wkeInitialize() { tovak::node::InitializeEngine(); }
NODE_EXPORT void __cdecl wkeInitializeEx(const void*) { tovak::node::InitializeEngine(); }

// A view lives as long as the process: the interface has no call that ends one.
NODE_EXPORT wkeWebView __cdecl wkeCreateWebView() { return reinterpret_cast<wkeWebView>(new tovak::node::WebView); }

NODE_EXPORT void __cdecl wkeSetHandle(wkeWebView webView, HWND window) {
  if (webView) ViewOf(webView)->SetHost(window);
}

NODE_EXPORT void __cdecl wkeResize(wkeWebView webView, int width, int height) {
  if (webView) ViewOf(webView)->Resize(width, height);
}

NODE_EXPORT void __cdecl wkeLoadURLW(wkeWebView webView, const wchar_t* url) {
  if (webView && url) ViewOf(webView)->Load(url);
}

NODE_EXPORT const wchar_t* __cdecl wkeGetTitleW(wkeWebView webView) { return webView ? ViewOf(webView)->Title() : nullptr; }

NODE_EXPORT const wchar_t* __cdecl wkeGetStringW(wkeString string) {
  return string ? string->text.c_str() : nullptr;
}

NODE_EXPORT void __cdecl wkeOnLoadingFinish(wkeWebView webView, wkeLoadingFinishCallback callback, void* param) {
  if (webView) ViewOf(webView)->SetLoadingFinish(callback, param);
}
