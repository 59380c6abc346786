// The desktop program: one window that finds the newest release on the update page and downloads
// its archive over parallel ranges.
#include <windows.h>

#include "app/program.h"
#include "platform/win32/node_browser_engine.h"
#include "platform/win32/win32_desktop.h"
#include "platform/win32/win32_event_pump.h"
#include "platform/win32/win32_window_view.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  using namespace tovak;
  platform::Win32EventPump pump;
  platform::InstallEventPump(&pump);
  platform::Win32Desktop desktop;
  platform::NodeBrowserEngine browserEngine(desktop);
  app::Program program(desktop, browserEngine);
  app::WindowModel& model = program.Model();
  app::MainWindow& mainWindow = program.Window();

  platform::Win32WindowView view(model, {[&] { mainWindow.OnToggleClicked(); }, [&] { mainWindow.OnDownloadClicked(); },
                                         [&] { return mainWindow.RequestClose(); }});
  browserEngine.Attach(view.BrowserHost());
  model.AttachView(&view);
  view.Show();
  mainWindow.OnWindowCreated();
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (IsDialogMessageW(view.Window(), &message)) continue;  // Tab between the controls
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }

  model.AttachView(nullptr);
  pump.ProcessPending();
  platform::InstallEventPump(nullptr);
  return 0;
}
