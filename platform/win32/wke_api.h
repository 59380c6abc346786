#pragma once
// The C interface of the browser engine module "node.dll": the functions the program binds by
// name and their signatures. Every function is __cdecl; a web view and a string are opaque.
#include <wchar.h>
#include <windows.h>

extern "C" {

typedef struct wkeWebViewTag* wkeWebView;
typedef struct wkeStringTag* wkeString;

// The end of a load, on the thread that initialised the engine; result 0 succeeded, 1 failed,
// 2 cancelled. The strings live until the callback returns.
typedef void(__cdecl* wkeLoadingFinishCallback)(wkeWebView webView, void* param, wkeString url, int result,
                                                 wkeString failedReason);

typedef bool(__cdecl* wkeIsInitializeFunction)();
typedef void(__cdecl* wkeInitializeFunction)();
typedef void(__cdecl* wkeInitializeExFunction)(const void* settings);
typedef wkeWebView(__cdecl* wkeCreateWebViewFunction)();
typedef void(__cdecl* wkeSetHandleFunction)(wkeWebView webView, HWND window);
typedef void(__cdecl* wkeResizeFunction)(wkeWebView webView, int width, int height);
typedef void(__cdecl* wkeLoadURLWFunction)(wkeWebView webView, const wchar_t* url);
typedef const wchar_t*(__cdecl* wkeGetTitleWFunction)(wkeWebView webView);  // null when none
typedef const wchar_t*(__cdecl* wkeGetStringWFunction)(wkeString string);
typedef void(__cdecl* wkeOnLoadingFinishFunction)(wkeWebView webView, wkeLoadingFinishCallback callback, void* param);

}  // extern "C"
