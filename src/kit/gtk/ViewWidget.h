#pragma once
// One kit view drawn in GTK: a ViewBox placed in its parent's box by the
// view's frame, holding the widget for the view's kind (a label, a button,
// an entry, a web view, ...) at its bounds and the boxes of its subviews
// above it. It reads the view's state on every change it is told of, and
// routes what the user does to its widgets (typing, return, the clear
// button, a bar item's button, a slider's value) back into kit.
//
// Pointer presses become kit touches elsewhere (InputRouter), so a kit
// control tracks its own touches; the GTK widgets here only show them.

#include <gtk/gtk.h>

#include <memory>
#include <string>
#include <vector>

#include "kit/ui/Geometry.h"
#include "kit/ui/View.h"

namespace kit {
class Image;
}

namespace kit::gtk {

class WidgetTree;

class ViewWidget {
 public:
  enum class Kind { Plain, Label, Button, TextField, TextView, ImageView, Switch, Slider, Progress, Activity, WebView, Bar };

  ViewWidget(WidgetTree& tree, View& view, ViewWidget* parent);
  ~ViewWidget();
  ViewWidget(const ViewWidget&) = delete;
  ViewWidget& operator=(const ViewWidget&) = delete;

  View& view() const noexcept { return *view_; }
  Kind kind() const noexcept { return kind_; }
  ViewWidget* parent() const noexcept { return parent_; }
  GtkWidget* box() const noexcept { return box_; }
  GtkWidget* content() const noexcept { return content_; }
  // The layer above the content where a bar draws its items (null for other views).
  GtkWidget* extras() const noexcept { return extras_; }
  // The GtkPopover a popover panel is shown in (null for other views).
  GtkWidget* popover() const noexcept { return popover_; }
  std::vector<std::unique_ptr<ViewWidget>>& children() noexcept { return children_; }

  // The views drawn inside this one, bottom first: the subviews, plus a
  // text field's side views.
  std::vector<View*> wantedChildren() const;
  // Where a child's box goes, in this box's coordinates.
  Rect childRect(const View& child) const;
  // Puts (or moves) a child's box where it belongs.
  void placeChild(ViewWidget& child);
  // Re-reads what `change` says changed.
  void changed(ViewChange change);
  void syncAll();

  // The binding whose box (or content) holds `widget`, or null.
  static ViewWidget* containing(GtkWidget* widget);
  // The kit view the pointer coordinates of a top-level box (a window's, or a
  // popover's) are in; null for other widgets.
  static View* rootViewOf(GtkWidget* box);

  // Draws `image` into width × height by the content mode.
  static void paintImage(cairo_t* cr, const Image& image, View::ContentMode mode, double width, double height);

 private:
  void makeContent();
  void syncLabelLines();
  void syncTitleLines();
  void syncFrame();
  void syncVisibility();
  void syncAppearance();
  void syncContent();
  void syncState();
  void syncBarItems();
  void paint(cairo_t* cr, int width, int height);
  // Shadows fall outside a view's own widget, so its superview paints them.
  void paintSubviewShadows(cairo_t* cr);
  void syncTextShadow();
  void placeInPopover(ViewWidget& child);

  WidgetTree& tree_;
  Ref<View> view_;
  ViewWidget* parent_;
  Kind kind_ = Kind::Plain;
  GtkWidget* box_ = nullptr;
  GtkWidget* content_ = nullptr;
  bool borrowedContent_ = false;
  // A layer above the content for a bar's item buttons and title.
  GtkWidget* extras_ = nullptr;
  GtkWidget* popover_ = nullptr;
  // Parts of a button: its image and title.
  GtkWidget* image_ = nullptr;
  GtkWidget* label_ = nullptr;
  std::vector<std::unique_ptr<ViewWidget>> children_;
  bool syncing_ = false;
  // The view was turned when last placed.
  bool turned_ = false;
  // The view's layer cast a shadow when last synced.
  bool castsShadow_ = false;
  // A label's shadow, as CSS on its GtkLabel.
  GtkCssProvider* textShadow_ = nullptr;
  std::string textShadowCss_;
};

}  // namespace kit::gtk
