#pragma once
// One web view of the engine module: it fetches an address on a thread of its own, reports the
// end of the load on the thread that initialised the engine, and paints the page's title in its
// child window. It shows the title only; it renders no page.
#include <windows.h>

#include <optional>
#include <string>

#include "node_module/page_fetch.h"
#include "platform/win32/wke_api.h"

// The engine's strings: what a load-finished callback receives.
struct wkeStringTag {
  std::wstring text;
};

namespace tovak::node {

// Creates the window that carries arrived pages to the calling thread; once per process.
void InitializeEngine();
bool IsEngineInitialized();

class WebView {
 public:
  WebView();
  void SetHost(HWND parent);
  void Resize(int width, int height);
  // A newer load supersedes an older one, whose end is then not reported.
  void Load(const std::wstring& url);
  const wchar_t* Title() const { return title_ ? title_->c_str() : nullptr; }
  void SetLoadingFinish(wkeLoadingFinishCallback callback, void* param);

  // On the engine's thread: a fetch has ended.
  void Arrived(unsigned load, const FetchedPage& page);

 private:
  static LRESULT CALLBACK PaintProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void Paint(HDC dc, const RECT& area);

  HWND window_ = nullptr;
  HFONT titleFont_, lineFont_;
  unsigned load_ = 0;
  bool loading_ = false;
  std::wstring url_, failure_;
  std::optional<std::wstring> title_;
  wkeLoadingFinishCallback callback_ = nullptr;
  void* param_ = nullptr;
};

}  // namespace tovak::node
