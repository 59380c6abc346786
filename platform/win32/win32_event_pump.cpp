#include "platform/win32/win32_event_pump.h"

#include <memory>

namespace tovak::platform {
namespace {

constexpr UINT kRunCall = WM_APP + 1;
const wchar_t* const kWindowClass = L"TovakEventPump";

bool QuitRequested() {
  MSG message;
  return PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE) && message.message == WM_QUIT;
}

}  // namespace

Win32EventPump::Win32EventPump() : windowThread_(GetCurrentThreadId()) {
  IsGUIThread(TRUE);  // the thread gets its message queue now, before any window exists
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = &Win32EventPump::WindowProcedure;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = kWindowClass;
  RegisterClassExW(&windowClass);
  messageWindow_ = CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                   windowClass.hInstance, nullptr);
}

Win32EventPump::~Win32EventPump() {
  if (messageWindow_) DestroyWindow(messageWindow_);
}

bool Win32EventPump::IsWindowThread() const { return GetCurrentThreadId() == windowThread_ && IsGUIThread(FALSE); }

void Win32EventPump::ProcessPending() {
  if (GetCurrentThreadId() != windowThread_) return;
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE)) {
    // WM_QUIT comes last, once nothing else is queued; it is the main loop's to take.
    if (message.message == WM_QUIT) return;
    if (!PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) return;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

void Win32EventPump::WaitWhileDispatching(std::chrono::milliseconds duration) {
  HANDLE timer = CreateWaitableTimerW(nullptr, TRUE, nullptr);
  LARGE_INTEGER due{};
  due.QuadPart = -static_cast<LONGLONG>(duration.count()) * 10000;  // relative, in 100 ns
  if (!timer || !SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE)) {
    if (timer) CloseHandle(timer);
    Sleep(static_cast<DWORD>(duration.count()));
    return;
  }
  for (;;) {
    DWORD woke = MsgWaitForMultipleObjects(1, &timer, FALSE, INFINITE, QS_ALLINPUT);
    if (woke != WAIT_OBJECT_0 + 1) break;  // the timer, or a failed wait
    ProcessPending();
    if (QuitRequested()) break;
  }
  CloseHandle(timer);
}

void Win32EventPump::Post(std::function<void()> call) {
  auto* posted = new std::function<void()>(std::move(call));
  if (!messageWindow_ || !PostMessageW(messageWindow_, kRunCall, 0, reinterpret_cast<LPARAM>(posted))) delete posted;
}

LRESULT CALLBACK Win32EventPump::WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != kRunCall) return DefWindowProcW(window, message, wParam, lParam);
  std::unique_ptr<std::function<void()>> call(reinterpret_cast<std::function<void()>*>(lParam));
  (*call)();
  return 0;
}

}  // namespace tovak::platform
