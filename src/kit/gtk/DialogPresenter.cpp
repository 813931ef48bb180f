#include "kit/gtk/DialogPresenter.h"

#include <algorithm>

#include "kit/gtk/MainContextHost.h"
#include "kit/gtk/WidgetTree.h"
#include "kit/ui/ActionSheet.h"
#include "kit/ui/AlertView.h"

namespace kit::gtk {
namespace {

// A captureless lambda as a signal handler.
template <class F>
GCallback callback(F f) {
  return reinterpret_cast<GCallback>(+f);
}

// Closing the window answers as the cancel button would; the dialog itself
// stays until kit removes the view.
gboolean onAlertDelete(GtkWidget*, GdkEvent*, gpointer data) {
  Ref<AlertView> alert(static_cast<AlertView*>(data));
  MainContextHost::deliver([alert] {
    if (alert->cancelButtonIndex() >= 0) alert->tapButton(alert->cancelButtonIndex());
  });
  return TRUE;
}

gboolean onSheetDelete(GtkWidget*, GdkEvent*, gpointer data) {
  Ref<ActionSheet> sheet(static_cast<ActionSheet*>(data));
  MainContextHost::deliver([sheet] { sheet->tapOutside(); });
  return TRUE;
}

}  // namespace

DialogPresenter::~DialogPresenter() {
  for (auto& [view, shown] : shown_) gtk_widget_destroy(shown.dialog);
}

GtkWidget* DialogPresenter::dialogFor(const View* view) const {
  auto it = shown_.find(view);
  return it == shown_.end() ? nullptr : it->second.dialog;
}

std::vector<GtkWidget*> DialogPresenter::dialogs() const {
  std::vector<GtkWidget*> out;
  for (const auto& [view, shown] : shown_) out.push_back(shown.dialog);
  return out;
}

void DialogPresenter::sync(View& alertWindow) {
  const auto& subviews = alertWindow.subviews();
  for (auto it = shown_.begin(); it != shown_.end();) {
    const bool stays = std::any_of(subviews.begin(), subviews.end(), [&](const Ref<View>& v) {
      return v.get() == it->first;
    });
    if (stays) {
      ++it;
      continue;
    }
    gtk_widget_destroy(it->second.dialog);
    it = shown_.erase(it);
  }
  for (const auto& v : subviews) {
    if (shown_.count(v.get())) continue;
    GtkWidget* dialog = nullptr;
    if (dynamic_cast<AlertView*>(v.get()))
      dialog = makeAlert(*v);
    else if (dynamic_cast<ActionSheet*>(v.get()))
      dialog = makeSheet(*v);
    if (!dialog) continue;
    shown_[v.get()] = {v, dialog};
    gtk_widget_show_all(dialog);
    gtk_window_present(GTK_WINDOW(dialog));
  }
}

GtkWidget* DialogPresenter::makeAlert(View& view) {
  auto& alert = static_cast<AlertView&>(view);
  const std::string& primary = alert.title().empty() ? alert.message() : alert.title();
  const std::string secondary = alert.title().empty() ? std::string() : alert.message();
  GtkWidget* d = gtk_message_dialog_new(tree_.dialogParent(), GTK_DIALOG_MODAL, GTK_MESSAGE_OTHER, GTK_BUTTONS_NONE,
                                        "%s", primary.c_str());
  if (!secondary.empty())
    gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(d), "%s", secondary.c_str());
  for (long i = 0; i < alert.numberOfButtons(); ++i)
    gtk_dialog_add_button(GTK_DIALOG(d), alert.buttonTitleAtIndex(i).c_str(), static_cast<gint>(i));
  if (alert.numberOfButtons() > 0) {
    const long preferred = alert.cancelButtonIndex() >= 0 && alert.numberOfButtons() > 1 ? alert.firstOtherButtonIndex()
                                                                                        : 0;
    gtk_dialog_set_default_response(GTK_DIALOG(d), static_cast<gint>(std::max(0L, preferred)));
  }
  gtk_window_set_position(GTK_WINDOW(d), GTK_WIN_POS_CENTER_ON_PARENT);
  gtk_window_set_title(GTK_WINDOW(d), alert.title().c_str());
  g_signal_connect(d, "response", callback([](GtkDialog*, gint response, gpointer data) {
                     if (response < 0) return;
                     Ref<AlertView> a(static_cast<AlertView*>(data));
                     MainContextHost::deliver([a, response] { a->tapButton(response); });
                   }),
                   &alert);
  g_signal_connect(d, "delete-event", G_CALLBACK(onAlertDelete), &alert);
  return d;
}

GtkWidget* DialogPresenter::makeSheet(View& view) {
  auto& sheet = static_cast<ActionSheet&>(view);
  GtkWidget* d = gtk_dialog_new();
  gtk_window_set_transient_for(GTK_WINDOW(d), tree_.dialogParent());
  gtk_window_set_modal(GTK_WINDOW(d), TRUE);
  gtk_window_set_destroy_with_parent(GTK_WINDOW(d), TRUE);
  gtk_window_set_position(GTK_WINDOW(d), GTK_WIN_POS_CENTER_ON_PARENT);
  gtk_window_set_title(GTK_WINDOW(d), sheet.title().c_str());
  GtkWidget* area = gtk_dialog_get_content_area(GTK_DIALOG(d));
  gtk_box_set_spacing(GTK_BOX(area), 6);
  gtk_container_set_border_width(GTK_CONTAINER(d), 8);
  if (!sheet.title().empty()) {
    GtkWidget* l = gtk_label_new(sheet.title().c_str());
    gtk_label_set_line_wrap(GTK_LABEL(l), TRUE);
    gtk_box_pack_start(GTK_BOX(area), l, FALSE, FALSE, 4);
  }
  for (long i = 0; i < sheet.numberOfButtons(); ++i) {
    GtkWidget* b = gtk_button_new_with_label(sheet.buttonTitleAtIndex(i).c_str());
    if (i == sheet.destructiveButtonIndex())
      gtk_style_context_add_class(gtk_widget_get_style_context(b), "destructive-action");
    g_object_set_data(G_OBJECT(b), "kit-index", GINT_TO_POINTER(static_cast<gint>(i)));
    g_signal_connect(b, "clicked", callback([](GtkButton* button, gpointer data) {
                       const long index = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(button), "kit-index"));
                       Ref<ActionSheet> s(static_cast<ActionSheet*>(data));
                       MainContextHost::deliver([s, index] { s->tapButton(index); });
                     }),
                     &sheet);
    gtk_box_pack_start(GTK_BOX(area), b, FALSE, FALSE, 0);
  }
  g_signal_connect(d, "delete-event", G_CALLBACK(onSheetDelete), &sheet);
  return d;
}

}  // namespace kit::gtk
