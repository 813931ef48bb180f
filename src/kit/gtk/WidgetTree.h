#pragma once
// Renders kit's view tree in GTK: every visible kit window (but the alert
// window, whose alerts and sheets become dialogs) is a GtkWindow, every view
// in it a ViewWidget. It follows the tree through the ViewObserver seam:
// bindings are made when a window is first shown or a view joins a shown
// tree, kept in step with each reported change, and dropped when a view
// leaves. A window the user resizes resizes its kit window (autoresizing the
// views in it); closing the last one ends Backend::run().

#include <gtk/gtk.h>

#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "kit/ui/ViewObserver.h"
#include "kit/ui/Window.h"

namespace kit::gtk {

class DialogPresenter;
class ViewWidget;

class WidgetTree : public ViewObserver {
 public:
  // Installs the tree as kit's view observer and shows the windows already visible.
  static WidgetTree& install();
  static WidgetTree* installed();

  void viewChanged(View& view, ViewChange change) override;

  // The binding of `view`, or null when it is not shown in GTK.
  ViewWidget* bindingFor(const View* view) const;
  // The widget that draws `view` (null when none).
  GtkWidget* widgetFor(const View* view) const;
  GtkWindow* toplevelFor(const Window* window) const;
  // The kit window a GTK toplevel shows, or null.
  Window* windowForToplevel(GtkWidget* toplevel) const;
  // The GTK window dialogs for kit alerts are put over (the key window's).
  GtkWindow* dialogParent() const;
  // The dialogs showing kit alerts and sheets now.
  std::vector<GtkWidget*> dialogs() const;
  // Whether the program's windows are all minimised (false while none is shown).
  bool allWindowsMinimised() const;
  // Takes down the minimised windows the program hid meanwhile (see hideWindow);
  // called once the program has heard it is back in the foreground.
  void releaseHeldWindows();

  // Binds, re-places or unbinds `parent`'s children to match its subviews.
  void reconcile(ViewWidget& parent);
  // Called by ViewWidget when its view's widgets go away (a later binding of
  // the same view is kept).
  void forget(const View* view, const ViewWidget* binding);
  // Keeps `object` alive until the main loop is next idle (a view dropped in
  // the middle of one of its own calls must not die there).
  void releaseLater(Ref<Object> object);

 private:
  WidgetTree();
  ~WidgetTree() override;
  struct Toplevel {
    Ref<Window> window;
    GtkWidget* gtkWindow = nullptr;
    std::unique_ptr<ViewWidget> root;
    bool held = false;  // hidden by the program while minimised: kept minimised, its content hidden
  };
  Toplevel* toplevelOf(const Window* window);
  void showWindow(Window& window);
  void hideWindow(Window& window);
  void windowFrameChanged(Window& window);
  std::unique_ptr<ViewWidget> bind(View& view, ViewWidget* parent);
  void unbindChild(ViewWidget& parent, ViewWidget* child);
  static void onAllocate(GtkWidget* widget, GdkRectangle* allocation, gpointer self);
  static gboolean onDelete(GtkWidget* widget, GdkEvent* event, gpointer self);
  static void onSetFocus(GtkWindow* window, GtkWidget* widget, gpointer self);

  std::map<const View*, ViewWidget*> bound_;
  std::vector<std::unique_ptr<Toplevel>> toplevels_;
  std::unique_ptr<DialogPresenter> dialogs_;
  std::vector<Ref<Object>> graveyard_;
  unsigned graveyardIdle_ = 0;
  bool applyingAllocation_ = false;
  // While views are re-bound (moved to another superview), GTK widgets are
  // torn down and their keyboard focus goes with them; that is no user's doing.
  int rebinding_ = 0;
  std::vector<std::pair<Ref<Window>, Size>> pendingSizes_;
  unsigned sizeIdle_ = 0;
};

}  // namespace kit::gtk
