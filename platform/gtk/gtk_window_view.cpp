#include "platform/gtk/gtk_window_view.h"

#include "platform/code_page.h"

namespace tovak::platform {
namespace {

GtkWidget* MakeLabel() {
  GtkWidget* label = gtk_label_new("");
  gtk_label_set_xalign(GTK_LABEL(label), 0.0f);
  return label;
}

void Connect(GtkWidget* widget, const char* signal, std::function<void()>* handler) {
  g_signal_connect(widget, signal, G_CALLBACK(+[](GtkWidget*, gpointer call) {
    (*static_cast<std::function<void()>*>(call))();
  }), handler);
}

}  // namespace

GtkWindowView::GtkWindowView(app::WindowModel& model, WindowHandlers handlers, GtkWidget* browserWidget)
    : model_(model), handlers_(std::move(handlers)) {
  window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  // The bar fills its 24-pixel row, as a progress bar of that height is expected to.
  GtkCssProvider* css = gtk_css_provider_new();
  gtk_css_provider_load_from_data(css, "progressbar trough, progressbar progress { min-height: 22px; }", -1, nullptr);
  gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(css),
                                            GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  g_object_unref(css);
  gtk_window_set_resizable(GTK_WINDOW(window_), FALSE);
  // The layout asks for no more than the collapsed width, so the window can clip the pane.
  layout_ = gtk_layout_new(nullptr, nullptr);
  gtk_layout_set_size(GTK_LAYOUT(layout_), 885, 349);
  gtk_container_add(GTK_CONTAINER(window_), layout_);

  auto place = [&](ControlId id, GtkWidget* widget) {
    app::Rect rect = app::WindowModel::LayoutOf(id);
    gtk_widget_set_size_request(widget, rect.width, rect.height);
    gtk_layout_put(GTK_LAYOUT(layout_), widget, rect.left, rect.top);
    widgets_[static_cast<size_t>(id)] = widget;
  };
  widgets_[static_cast<size_t>(ControlId::Window)] = window_;
  place(ControlId::按钮1, gtk_button_new_with_label(""));
  place(ControlId::标签1, MakeLabel());
  place(ControlId::MiniBlink浏览框1, browserWidget);
  place(ControlId::编辑框1, gtk_entry_new());
  place(ControlId::标签2, MakeLabel());
  place(ControlId::编辑框2, gtk_entry_new());
  place(ControlId::按钮_下载, gtk_button_new_with_label(""));
  place(ControlId::标签_进度提示, MakeLabel());
  place(ControlId::进度条_更新进度, gtk_progress_bar_new());

  Connect(Widget(ControlId::按钮1), "clicked", &handlers_.onToggle);
  Connect(Widget(ControlId::按钮_下载), "clicked", &handlers_.onDownload);
  for (ControlId edit : {ControlId::编辑框1, ControlId::编辑框2}) {
    g_signal_connect(Widget(edit), "changed", G_CALLBACK(+[](GtkEditable* entry, gpointer self) {
      auto* view = static_cast<GtkWindowView*>(self);
      if (view->applying_) return;
      ControlId id = GTK_WIDGET(entry) == view->Widget(ControlId::编辑框1) ? ControlId::编辑框1 : ControlId::编辑框2;
      view->model_.SetText(id, Utf8ToGbk(gtk_entry_get_text(GTK_ENTRY(entry))));
    }), this);
  }
  g_signal_connect(window_, "delete-event", G_CALLBACK(+[](GtkWidget*, GdkEvent*, gpointer self) -> gboolean {
    return static_cast<GtkWindowView*>(self)->handlers_.mayCloseNow() ? FALSE : TRUE;
  }), this);
  g_signal_connect(window_, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
  for (int i = 0; i < kControlCount; ++i) Apply(static_cast<ControlId>(i));
}

void GtkWindowView::Show() {
  app::Rect rect = model_.WindowRect();
  gtk_window_move(GTK_WINDOW(window_), rect.left, rect.top);
  gtk_widget_show_all(window_);
}

void GtkWindowView::ControlChanged(ControlId control) {
  dirty_[static_cast<size_t>(control)] = true;
  if (refreshQueued_.exchange(true)) return;
  g_idle_add([](gpointer self) -> gboolean {
    static_cast<GtkWindowView*>(self)->Refresh();
    return G_SOURCE_REMOVE;
  }, this);
}

void GtkWindowView::Refresh() {
  refreshQueued_ = false;
  for (int i = 0; i < kControlCount; ++i)
    if (dirty_[static_cast<size_t>(i)].exchange(false)) Apply(static_cast<ControlId>(i));
}

void GtkWindowView::Apply(ControlId control) {
  GtkWidget* widget = Widget(control);
  if (!widget) return;
  applying_ = true;
  std::string text = GbkToUtf8(model_.GetText(control));
  switch (control) {
    case ControlId::Window: {
      gtk_window_set_title(GTK_WINDOW(window_), text.c_str());
      app::Rect rect = model_.WindowRect();
      gtk_widget_set_size_request(layout_, rect.width, rect.height);
      gtk_window_resize(GTK_WINDOW(window_), rect.width, rect.height);
      gtk_window_move(GTK_WINDOW(window_), rect.left, rect.top);
      break;
    }
    case ControlId::按钮1:
    case ControlId::按钮_下载:
      gtk_button_set_label(GTK_BUTTON(widget), text.c_str());
      break;
    case ControlId::编辑框1:
    case ControlId::编辑框2:
      if (text != gtk_entry_get_text(GTK_ENTRY(widget))) gtk_entry_set_text(GTK_ENTRY(widget), text.c_str());
      break;
    case ControlId::进度条_更新进度:
      gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(widget), model_.ProgressPosition() / 100.0);
      break;
    case ControlId::MiniBlink浏览框1:
      break;
    default:
      gtk_label_set_text(GTK_LABEL(widget), text.c_str());
  }
  gtk_widget_set_sensitive(widget, !model_.IsDisabled(control));
  applying_ = false;
}

int GtkWindowView::ScreenWidth() {
  GdkMonitor* monitor = gdk_display_get_primary_monitor(gdk_display_get_default());
  if (!monitor) monitor = gdk_display_get_monitor(gdk_display_get_default(), 0);
  GdkRectangle area{};
  if (monitor) gdk_monitor_get_geometry(monitor, &area);
  return area.width;
}

void GtkWindowView::CloseWindow() { gtk_widget_destroy(window_); }

}  // namespace tovak::platform
