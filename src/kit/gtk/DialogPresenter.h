#pragma once
// Shows kit's alerts and action sheets (the subviews of the alert window) as
// GTK dialogs over the key window: one dialog per alert or sheet, its
// buttons in kit's index order, a button's click answered through the kit
// view as a user's tap (tapButton), closing the dialog as the cancel button
// (a sheet: a tap outside). A dialog goes when its view leaves the alert
// window, whoever dismissed it.

#include <gtk/gtk.h>

#include <map>
#include <vector>

#include "kit/ui/View.h"

namespace kit::gtk {

class WidgetTree;

class DialogPresenter {
 public:
  explicit DialogPresenter(WidgetTree& tree) : tree_(tree) {}
  ~DialogPresenter();

  // Matches the dialogs to the alert window's subviews.
  void sync(View& alertWindow);
  // The dialog showing `view` (an AlertView or ActionSheet), or null.
  GtkWidget* dialogFor(const View* view) const;
  // Every dialog showing now.
  std::vector<GtkWidget*> dialogs() const;

 private:
  GtkWidget* makeAlert(View& alert);
  GtkWidget* makeSheet(View& sheet);
  void fitToParent(GtkWidget* dialog);

  // Room kept on each side of a dialog, and the narrowest a dialog gets.
  static constexpr int kDialogMargin = 8;
  static constexpr int kNarrowestDialog = 200;

  WidgetTree& tree_;
  struct Shown {
    Ref<View> view;
    GtkWidget* dialog;
  };
  std::map<const View*, Shown> shown_;
};

}  // namespace kit::gtk
