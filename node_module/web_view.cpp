#include "node_module/web_view.h"

#include <memory>
#include <thread>

#include "node_module/page_text.h"
#include "platform/win32/cjk_font.h"

namespace tovak::node {
namespace {

constexpr UINT kPageArrived = WM_APP + 1;
const wchar_t* const kViewClass = L"TovakNodeWebView";
const wchar_t* const kCarrierClass = L"TovakNodeCarrier";

HWND carrier = nullptr;  // message-only, on the thread that initialised the engine

struct Arrival {
  WebView* view;
  unsigned load;
  FetchedPage page;
};

HINSTANCE ModuleInstance() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&ModuleInstance), &module);
  return module;
}

LRESULT CALLBACK CarrierProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != kPageArrived) return DefWindowProcW(window, message, wParam, lParam);
  std::unique_ptr<Arrival> arrival(reinterpret_cast<Arrival*>(lParam));
  arrival->view->Arrived(arrival->load, arrival->page);
  return 0;
}

}  // namespace

void InitializeEngine() {
  if (carrier) return;
  HINSTANCE instance = ModuleInstance();
  WNDCLASSEXW carrierClass{};
  carrierClass.cbSize = sizeof carrierClass;
  carrierClass.lpfnWndProc = CarrierProcedure;
  carrierClass.hInstance = instance;
  carrierClass.lpszClassName = kCarrierClass;
  RegisterClassExW(&carrierClass);
  carrier = CreateWindowExW(0, kCarrierClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
}

bool IsEngineInitialized() { return carrier != nullptr; }

WebView::WebView() : titleFont_(platform::CreateCjkFont(22)), lineFont_(platform::CreateCjkFont(13)) {}

void WebView::SetHost(HWND parent) {
  HINSTANCE instance = ModuleInstance();
  WNDCLASSEXW viewClass{};
  viewClass.cbSize = sizeof viewClass;
  viewClass.lpfnWndProc = &WebView::PaintProcedure;
  viewClass.hInstance = instance;
  viewClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  viewClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  viewClass.lpszClassName = kViewClass;
  RegisterClassExW(&viewClass);  // fails harmlessly for every view after the first
  if (window_) DestroyWindow(window_);
  window_ = CreateWindowExW(0, kViewClass, L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, parent, nullptr, instance, nullptr);
  SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

void WebView::Resize(int width, int height) {
  if (window_) SetWindowPos(window_, nullptr, 0, 0, width, height, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
}

void WebView::Load(const std::wstring& url) {
  unsigned load = ++load_;
  loading_ = true;
  url_ = url;
  title_.reset();
  failure_.clear();
  if (window_) InvalidateRect(window_, nullptr, TRUE);
  HWND to = carrier;
  std::thread([this, load, url, to] {
    auto arrival = std::make_unique<Arrival>(Arrival{this, load, FetchPage(url)});
    if (to && PostMessageW(to, kPageArrived, 0, reinterpret_cast<LPARAM>(arrival.get()))) arrival.release();
  }).detach();
}

void WebView::SetLoadingFinish(wkeLoadingFinishCallback callback, void* param) {
  callback_ = callback;
  param_ = param;
}

void WebView::Arrived(unsigned load, const FetchedPage& page) {
  if (load != load_) return;
  loading_ = false;
  url_ = page.url;
  failure_ = page.failure;
  if (page.succeeded) title_ = TitleOf(page.document);
  if (window_) InvalidateRect(window_, nullptr, TRUE);
  if (!callback_) return;
  wkeStringTag url{url_}, reason{failure_};
  callback_(reinterpret_cast<wkeWebView>(this), param_, &url, page.succeeded ? 0 : 1, &reason);
}

void WebView::Paint(HDC dc, const RECT& area) {
  FillRect(dc, &area, reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1));
  SetBkMode(dc, TRANSPARENT);
  RECT line = area;
  InflateRect(&line, -8, -6);
  SelectObject(dc, lineFont_);
  SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
  std::wstring status = loading_ ? L"正在载入 " + url_ : url_;
  DrawTextW(dc, status.c_str(), -1, &line, DT_LEFT | DT_TOP | DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOPREFIX);
  RECT body = area;
  InflateRect(&body, -12, -12);
  SelectObject(dc, titleFont_);
  SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
  std::wstring shown = loading_ ? L"" : !failure_.empty() ? L"无法载入页面\n" + failure_ : title_ ? *title_ : L"(无标题)";
  RECT measured = body;
  DrawTextW(dc, shown.c_str(), -1, &measured, DT_CENTER | DT_WORDBREAK | DT_NOPREFIX | DT_CALCRECT);
  int height = measured.bottom - measured.top;
  body.top += ((body.bottom - body.top) - height) / 2;
  DrawTextW(dc, shown.c_str(), -1, &body, DT_CENTER | DT_WORDBREAK | DT_NOPREFIX);
}

LRESULT CALLBACK WebView::PaintProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* view = reinterpret_cast<WebView*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (message == WM_PAINT && view) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    RECT area;
    GetClientRect(window, &area);
    view->Paint(dc, area);
    EndPaint(window, &paint);
    return 0;
  }
  if (message == WM_ERASEBKGND) return 1;  // painted whole in WM_PAINT
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace tovak::node
