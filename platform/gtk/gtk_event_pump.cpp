#include "platform/gtk/gtk_event_pump.h"

#include <gtk/gtk.h>

namespace tovak::platform {

GtkEventPump::GtkEventPump() : windowThread_(std::this_thread::get_id()) {}

bool GtkEventPump::IsWindowThread() const { return std::this_thread::get_id() == windowThread_; }

void GtkEventPump::ProcessPending() {
  while (g_main_context_pending(nullptr)) g_main_context_iteration(nullptr, FALSE);
}

void GtkEventPump::WaitWhileDispatching(std::chrono::milliseconds duration) {
  bool due = false;
  g_timeout_add(static_cast<guint>(duration.count()), [](gpointer flag) -> gboolean {
    *static_cast<bool*>(flag) = true;
    return G_SOURCE_REMOVE;
  }, &due);
  while (!due) g_main_context_iteration(nullptr, TRUE);
}

void GtkEventPump::Post(std::function<void()> call) {
  auto* boxed = new std::function<void()>(std::move(call));
  g_idle_add_full(G_PRIORITY_DEFAULT, [](gpointer data) -> gboolean {
    (*static_cast<std::function<void()>*>(data))();
    return G_SOURCE_REMOVE;
  }, boxed, [](gpointer data) { delete static_cast<std::function<void()>*>(data); });
}

}  // namespace tovak::platform
