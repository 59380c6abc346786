// The desktop program: one window that finds the newest release on the update page and downloads
// its archive over parallel ranges.
#include <gtk/gtk.h>

#include <cstdlib>

#include "app/program.h"
#include "platform/gtk/gtk_desktop.h"
#include "platform/gtk/gtk_event_pump.h"
#include "platform/gtk/gtk_window_view.h"
#include "platform/gtk/webkit_browser_engine.h"

int main(int argc, char** argv) {
  using namespace tovak;
  // The same rendering for a good deal less memory in the web process.
  setenv("WEBKIT_DISABLE_COMPOSITING_MODE", "1", 0);
  gtk_init(&argc, &argv);

  platform::GtkEventPump pump;
  platform::InstallEventPump(&pump);
  platform::GtkDesktop desktop(pump);
  platform::WebKitBrowserEngine browserEngine(desktop);
  app::Program program(desktop, browserEngine);
  app::WindowModel& model = program.Model();
  app::MainWindow& mainWindow = program.Window();

  platform::GtkWindowView view(model,
                               {[&] { mainWindow.OnToggleClicked(); }, [&] { mainWindow.OnDownloadClicked(); },
                                [&] { return mainWindow.RequestClose(); }},
                               browserEngine.Widget());
  model.AttachView(&view);
  view.Show();
  mainWindow.OnWindowCreated();
  gtk_main();

  model.AttachView(nullptr);
  pump.ProcessPending();
  platform::InstallEventPump(nullptr);
  return 0;
}
