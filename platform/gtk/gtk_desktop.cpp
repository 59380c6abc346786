#include "platform/gtk/gtk_desktop.h"

#include <gtk/gtk.h>

#include <future>

#include "platform/code_page.h"
#include "platform/posix/native_path.h"

namespace tovak::platform {

int GtkDesktop::ShowMessage(const Text& text, const Text& caption, MessageButtons buttons, MessageIcon icon) {
  if (pump_.IsWindowThread()) return ShowOnWindowThread(text, caption, buttons, icon);
  // Widgets belong to the window's thread: another thread asks it and waits for the answer.
  auto answer = std::make_shared<std::promise<int>>();
  std::future<int> result = answer->get_future();
  pump_.Post([=, this] { answer->set_value(ShowOnWindowThread(text, caption, buttons, icon)); });
  return result.get();
}

int GtkDesktop::ShowOnWindowThread(const Text& text, const Text& caption, MessageButtons buttons, MessageIcon icon) {
  GtkMessageType type = GTK_MESSAGE_OTHER;
  switch (icon) {
    case MessageIcon::Error: type = GTK_MESSAGE_ERROR; break;
    case MessageIcon::Warning: type = GTK_MESSAGE_WARNING; break;
    case MessageIcon::Information: type = GTK_MESSAGE_INFO; break;
    case MessageIcon::None: break;
  }
  GtkButtonsType gtkButtons = buttons == MessageButtons::YesNo ? GTK_BUTTONS_YES_NO : GTK_BUTTONS_OK;
  std::string body = GbkToUtf8(text);
  GtkWidget* dialog = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, type, gtkButtons, "%s", body.c_str());
  gtk_window_set_title(GTK_WINDOW(dialog), GbkToUtf8(caption).c_str());
  gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
  gint response = gtk_dialog_run(GTK_DIALOG(dialog));
  gtk_widget_destroy(dialog);
  switch (response) {
    case GTK_RESPONSE_YES: return kAnswerYes;
    case GTK_RESPONSE_NO: return kAnswerNo;
    case GTK_RESPONSE_OK: return kAnswerOk;
    default: return buttons == MessageButtons::YesNo ? kAnswerNo : kAnswerOk;
  }
}

void GtkDesktop::OpenWithShell(const Text& path) {
  gchar* uri = g_filename_to_uri(NativePath(path).c_str(), nullptr, nullptr);
  if (!uri) return;
  g_app_info_launch_default_for_uri(uri, nullptr, nullptr);
  g_free(uri);
}

}  // namespace tovak::platform
