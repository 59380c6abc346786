#include "platform/win32/win32_window_view.h"

#include <commctrl.h>

#include "platform/win32/cjk_font.h"
#include "platform/win32/wide_text.h"

namespace tovak::platform {
namespace {

constexpr UINT kRefresh = WM_APP + 10;
const wchar_t* const kWindowClass = L"TovakMainWindow";
const wchar_t* const kBrowserHostClass = L"TovakBrowserHost";
// Child ids start past the dialog manager's own: Enter and Escape in an edit arrive as IDOK (1)
// and IDCANCEL (2), which must not read as a click on a control.
constexpr int kFirstControlId = 100;
constexpr int kFontPixels = 12;  // 9 points at 96 dpi, the usual size of a Chinese interface
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;

struct ControlKind {
  const wchar_t* windowClass;
  DWORD style;
  DWORD extendedStyle;
};

ControlKind KindOf(ControlId control) {
  constexpr DWORD kButton = WS_TABSTOP | BS_PUSHBUTTON;
  constexpr DWORD kLabel = SS_LEFT | SS_CENTERIMAGE | SS_NOPREFIX;
  constexpr DWORD kEdit = WS_TABSTOP | ES_AUTOHSCROLL;
  switch (control) {
    case ControlId::按钮1:
    case ControlId::按钮_下载: return {L"BUTTON", kButton, 0};
    case ControlId::编辑框1:
    case ControlId::编辑框2: return {L"EDIT", kEdit, WS_EX_CLIENTEDGE};
    case ControlId::进度条_更新进度: return {PROGRESS_CLASSW, 0, 0};
    case ControlId::MiniBlink浏览框1: return {kBrowserHostClass, WS_CLIPCHILDREN, 0};
    default: return {L"STATIC", kLabel, 0};
  }
}

void RegisterClasses(HINSTANCE instance, WNDPROC procedure) {
  WNDCLASSEXW main{};
  main.cbSize = sizeof main;
  main.lpfnWndProc = procedure;
  main.hInstance = instance;
  main.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  main.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
  main.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  main.lpszClassName = kWindowClass;
  RegisterClassExW(&main);
  WNDCLASSEXW host = main;
  host.lpfnWndProc = DefWindowProcW;
  host.hIcon = nullptr;
  host.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  host.lpszClassName = kBrowserHostClass;
  RegisterClassExW(&host);
}

}  // namespace

Win32WindowView::Win32WindowView(app::WindowModel& model, WindowHandlers handlers)
    : model_(model), handlers_(std::move(handlers)) {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  INITCOMMONCONTROLSEX common{sizeof common, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&common);
  RegisterClasses(instance, &Win32WindowView::WindowProcedure);
  font_ = CreateCjkFont(kFontPixels);

  app::Rect rect = model_.WindowRect();
  window_ = CreateWindowExW(0, kWindowClass, L"", kWindowStyle, rect.left, rect.top, rect.width, rect.height,
                            nullptr, nullptr, instance, this);
  controls_[static_cast<size_t>(ControlId::Window)] = window_;
  for (int i = 1; i < kControlCount; ++i) {
    auto id = static_cast<ControlId>(i);
    app::Rect at = app::WindowModel::LayoutOf(id);
    ControlKind kind = KindOf(id);
    HWND control = CreateWindowExW(kind.extendedStyle, kind.windowClass, L"", WS_CHILD | WS_VISIBLE | kind.style,
                                   at.left, at.top, at.width, at.height, window_,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstControlId + i)), instance, nullptr);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    controls_[static_cast<size_t>(i)] = control;
  }
  SendMessageW(Control(ControlId::进度条_更新进度), PBM_SETRANGE32, 0, 100);
  for (int i = 0; i < kControlCount; ++i) Apply(static_cast<ControlId>(i));
}

Win32WindowView::~Win32WindowView() {
  if (IsWindow(window_)) {
    // Torn down by its owner, not closed by the user: no quit request for the thread.
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
  }
  DeleteObject(font_);
}

void Win32WindowView::Show() {
  ShowWindow(window_, SW_SHOWNORMAL);
  UpdateWindow(window_);
}

void Win32WindowView::ControlChanged(ControlId control) {
  dirty_[static_cast<size_t>(control)] = true;
  if (refreshQueued_.exchange(true)) return;
  if (!PostMessageW(window_, kRefresh, 0, 0)) refreshQueued_ = false;
}

int Win32WindowView::ScreenWidth() { return GetSystemMetrics(SM_CXSCREEN); }

void Win32WindowView::CloseWindow() { DestroyWindow(window_); }

void Win32WindowView::Refresh() {
  refreshQueued_ = false;
  for (int i = 0; i < kControlCount; ++i)
    if (dirty_[static_cast<size_t>(i)].exchange(false)) Apply(static_cast<ControlId>(i));
}

void Win32WindowView::Apply(ControlId control) {
  HWND handle = Control(control);
  if (!handle) return;
  applying_ = true;
  std::wstring text = Wide(model_.GetText(control));
  switch (control) {
    case ControlId::Window: {
      SetWindowTextW(handle, text.c_str());
      app::Rect rect = model_.WindowRect();
      SetWindowPos(handle, nullptr, rect.left, rect.top, rect.width, rect.height, SWP_NOZORDER | SWP_NOACTIVATE);
      break;
    }
    case ControlId::编辑框1:
    case ControlId::编辑框2: {
      // Rewriting an unchanged edit would move the user's caret.
      std::wstring shown(static_cast<size_t>(GetWindowTextLengthW(handle)) + 1, L'\0');
      shown.resize(static_cast<size_t>(GetWindowTextW(handle, shown.data(), static_cast<int>(shown.size()))));
      if (shown != text) SetWindowTextW(handle, text.c_str());
      break;
    }
    case ControlId::进度条_更新进度:
      SendMessageW(handle, PBM_SETPOS, static_cast<WPARAM>(model_.ProgressPosition()), 0);
      break;
    case ControlId::MiniBlink浏览框1:
      break;
    default:
      SetWindowTextW(handle, text.c_str());
  }
  if (control != ControlId::Window) EnableWindow(handle, !model_.IsDisabled(control));
  applying_ = false;
}

void Win32WindowView::OnCommand(ControlId control, int notification) {
  if (notification == BN_CLICKED && control == ControlId::按钮1) handlers_.onToggle();
  if (notification == BN_CLICKED && control == ControlId::按钮_下载) handlers_.onDownload();
  if (notification == EN_CHANGE && !applying_ && (control == ControlId::编辑框1 || control == ControlId::编辑框2)) {
    HWND edit = Control(control);
    std::wstring typed(static_cast<size_t>(GetWindowTextLengthW(edit)) + 1, L'\0');
    typed.resize(static_cast<size_t>(GetWindowTextW(edit, typed.data(), static_cast<int>(typed.size()))));
    model_.SetText(control, FromWide(typed));
  }
}

LRESULT Win32WindowView::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case kRefresh:
      Refresh();
      return 0;
    case WM_COMMAND: {
      int control = LOWORD(wParam) - kFirstControlId;
      if (control > 0 && control < kControlCount) OnCommand(static_cast<ControlId>(control), HIWORD(wParam));
      return 0;
    }
    case WM_CLOSE:
      if (handlers_.mayCloseNow()) DestroyWindow(window_);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(window_, message, wParam, lParam);
}

LRESULT CALLBACK Win32WindowView::WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* view = static_cast<Win32WindowView*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    view->window_ = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(view));
  }
  auto* view = reinterpret_cast<Win32WindowView*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!view) return DefWindowProcW(window, message, wParam, lParam);
  return view->Handle(message, wParam, lParam);
}

}  // namespace tovak::platform
