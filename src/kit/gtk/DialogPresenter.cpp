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

void wrapLabels(GtkWidget* widget, gpointer chars) {
  if (GTK_IS_LABEL(widget)) {
    gtk_label_set_line_wrap(GTK_LABEL(widget), TRUE);
    gtk_label_set_line_wrap_mode(GTK_LABEL(widget), PANGO_WRAP_WORD_CHAR);
    gtk_label_set_max_width_chars(GTK_LABEL(widget), GPOINTER_TO_INT(chars));
    if (gtk_label_get_width_chars(GTK_LABEL(widget)) > GPOINTER_TO_INT(chars)) gtk_label_set_width_chars(GTK_LABEL(widget), -1);
  } else if (GTK_IS_CONTAINER(widget)) {
    gtk_container_forall(GTK_CONTAINER(widget), wrapLabels, chars);
  }
}

// A wrapping label asks for no more width than its longest word, and a window
// is never shorter than that narrowest layout needs: each label is held at
// the width it will have, so the dialog is only as tall as its text.
void holdLabelWidths(GtkWidget* widget, gpointer) {
  if (GTK_IS_LABEL(widget)) {
    gtk_widget_set_size_request(widget, -1, -1);
    int minimum = 0, natural = 0;
    gtk_widget_get_preferred_width(widget, &minimum, &natural);
    gtk_widget_set_size_request(widget, natural, -1);
  } else if (GTK_IS_CONTAINER(widget)) {
    gtk_container_forall(GTK_CONTAINER(widget), holdLabelWidths, nullptr);
  }
}

int naturalWidth(GtkWidget* widget) {
  int minimum = 0, natural = 0;
  gtk_widget_get_preferred_width(widget, &minimum, &natural);
  return natural;
}

// The buttons of a dialog side by side, or null (a sheet stacks its own).
GtkWidget* buttonRow(GtkDialog* dialog) {
  GtkWidget* button = gtk_dialog_get_widget_for_response(dialog, 0);
  GtkWidget* row = button ? gtk_widget_get_parent(button) : nullptr;
  return row && GTK_IS_BUTTON_BOX(row) ? row : nullptr;
}

}  // namespace

// A dialog is no wider than the window it belongs to: its texts wrap, and
// buttons that do not fit side by side are stacked.
void DialogPresenter::fitToParent(GtkWidget* dialog) {
  int room = G_MAXINT;
  GtkWindow* parent = tree_.dialogParent();
  int parentWidth = 0, parentHeight = 0;
  if (parent) {
    gtk_window_get_size(parent, &parentWidth, &parentHeight);
    room = std::max(parentWidth - 2 * kDialogMargin, kNarrowestDialog);
  }
  if (naturalWidth(dialog) > room) {
    // About eight pixels to a character of the dialog font, less the frame.
    const int chars = std::max((room - 48) / 8, 12);
    wrapLabels(dialog, GINT_TO_POINTER(chars));
    if (GtkWidget* row = buttonRow(GTK_DIALOG(dialog)); row && naturalWidth(dialog) > room) {
      gtk_orientable_set_orientation(GTK_ORIENTABLE(row), GTK_ORIENTATION_VERTICAL);
      gtk_button_box_set_layout(GTK_BUTTON_BOX(row), GTK_BUTTONBOX_EXPAND);
    }
  }
  holdLabelWidths(dialog, nullptr);
  // Shown already: a resize, not a default size; the height follows the text.
  const int width = std::min(naturalWidth(dialog), room);
  gtk_window_resize(GTK_WINDOW(dialog), width, 1);
  if (!parent) return;
  // Placed while it was wider: centred on the window again at its new size.
  int minimum = 0, height = 0, px = 0, py = 0;
  gtk_widget_get_preferred_height_for_width(dialog, width, &minimum, &height);
  gtk_window_get_position(parent, &px, &py);
  gtk_window_move(GTK_WINDOW(dialog), px + (parentWidth - width) / 2, py + std::max(0, (parentHeight - height) / 2));
}

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
    fitToParent(dialog);
    gtk_window_present(GTK_WINDOW(dialog));
  }
}

GtkWidget* DialogPresenter::makeAlert(View& view) {
  auto& alert = static_cast<AlertView&>(view);
  // A plain dialog rather than the toolkit's message dialog, whose fixed
  // minimum width would not fit a narrow window.
  GtkWidget* d = gtk_dialog_new();
  gtk_window_set_transient_for(GTK_WINDOW(d), tree_.dialogParent());
  gtk_window_set_modal(GTK_WINDOW(d), TRUE);
  gtk_window_set_destroy_with_parent(GTK_WINDOW(d), TRUE);
  gtk_container_set_border_width(GTK_CONTAINER(d), 8);
  GtkWidget* area = gtk_dialog_get_content_area(GTK_DIALOG(d));
  gtk_box_set_spacing(GTK_BOX(area), 8);
  for (const std::string* text : {&alert.title(), &alert.message()}) {
    if (text->empty()) continue;
    GtkWidget* l = gtk_label_new(text->c_str());
    gtk_label_set_line_wrap(GTK_LABEL(l), TRUE);
    gtk_label_set_justify(GTK_LABEL(l), GTK_JUSTIFY_CENTER);
    gtk_label_set_max_width_chars(GTK_LABEL(l), 60);
    gtk_label_set_selectable(GTK_LABEL(l), FALSE);
    if (text == &alert.title() && !alert.message().empty()) {
      PangoAttrList* bold = pango_attr_list_new();
      pango_attr_list_insert(bold, pango_attr_weight_new(PANGO_WEIGHT_BOLD));
      gtk_label_set_attributes(GTK_LABEL(l), bold);
      pango_attr_list_unref(bold);
    }
    gtk_box_pack_start(GTK_BOX(area), l, FALSE, FALSE, 4);
  }
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
