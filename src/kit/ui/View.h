#pragma once
// A rectangle in the view tree. A view has a frame in its superview, bounds
// in its own coordinates (the bounds origin is what its content is scrolled
// to), a centre and a transform; it owns its subviews (drawn in order, the
// last on top) and its layer; it is hidden or not, has an alpha, a tag, an
// optional background colour and takes part in the responder chain: its next
// responder is the controller whose root view it is, else its superview.
//
// When a view's bounds change size, each subview is moved and resized by its
// autoresizing mask (the size change is shared out proportionally among the
// flexible parts of each axis) and the view is marked for layout; a layout
// pass (layoutIfNeeded, or a drain of the main run loop) then calls
// layoutSubviews.
//
// When a subtree enters or leaves a visible window (or its window is shown or
// hidden), the controllers whose root views are in it get their will/did
// appear or disappear calls (see ViewController::TransitionScope).
//
// Every visible change is reported through the one ViewObserver (ViewObserver.h).
// Main thread only.

#include <optional>
#include <functional>
#include <string>
#include <vector>

#include "kit/ui/Color.h"
#include "kit/ui/Geometry.h"
#include "kit/ui/Responder.h"
#include "kit/ui/ViewObserver.h"

namespace kit {

class GestureRecognizer;
class Layer;
class ViewController;
class Window;

class View : public Responder {
 public:
  // Autoresizing mask bits (the platform's values).
  enum Autoresizing : unsigned {
    None = 0,
    FlexibleLeftMargin = 1,
    FlexibleWidth = 2,
    FlexibleRightMargin = 4,
    FlexibleTopMargin = 8,
    FlexibleHeight = 16,
    FlexibleBottomMargin = 32,
  };

  enum class ContentMode {
    ScaleToFill,
    ScaleAspectFit,
    ScaleAspectFill,
    Redraw,
    Center,
    Top,
    Bottom,
    Left,
    Right,
    TopLeft,
    TopRight,
    BottomLeft,
    BottomRight,
  };

  explicit View(Rect frame = {});
  ~View() override;
  static Ref<View> view(Rect frame = {}) { return Ref<View>(new View(frame)); }

  // The backend's observer (null: none). Not owned.
  static void setObserver(ViewObserver* observer);
  static ViewObserver* observer();

  // ---- Geometry
  Rect frame() const;
  virtual void setFrame(Rect frame);
  Rect bounds() const;
  virtual void setBounds(Rect bounds);
  Point center() const;
  virtual void setCenter(Point center);
  const AffineTransform& transform() const noexcept { return transform_; }
  void setTransform(const AffineTransform& t);
  unsigned autoresizingMask() const noexcept { return autoresizingMask_; }
  void setAutoresizingMask(unsigned mask) { autoresizingMask_ = mask; }
  bool autoresizesSubviews() const noexcept { return autoresizesSubviews_; }
  void setAutoresizesSubviews(bool a) { autoresizesSubviews_ = a; }
  // The size the view would like within `size`; by default its current size.
  virtual Size sizeThatFits(Size size) const;
  void sizeToFit();

  // ---- Appearance
  bool isHidden() const;
  virtual void setHidden(bool hidden);
  double alpha() const;
  // Clamped to 0..1.
  virtual void setAlpha(double alpha);
  const std::optional<Color>& backgroundColor() const;
  virtual void setBackgroundColor(std::optional<Color> color);
  bool clipsToBounds() const;
  void setClipsToBounds(bool clips);
  bool isOpaque() const noexcept { return opaque_; }
  void setOpaque(bool o) { opaque_ = o; }
  ContentMode contentMode() const noexcept { return contentMode_; }
  void setContentMode(ContentMode m);
  long tag() const noexcept { return tag_; }
  void setTag(long t) { tag_ = t; }
  bool isUserInteractionEnabled() const noexcept { return userInteractionEnabled_; }
  void setUserInteractionEnabled(bool e);
  bool isMultipleTouchEnabled() const noexcept { return multipleTouchEnabled_; }
  void setMultipleTouchEnabled(bool e) { multipleTouchEnabled_ = e; }
  bool isExclusiveTouch() const noexcept { return exclusiveTouch_; }
  void setExclusiveTouch(bool e) { exclusiveTouch_ = e; }
  Layer* layer() const noexcept { return layer_.get(); }
  // Asks the backend to redraw (reported as a content change).
  void setNeedsDisplay() { notify(ViewChange::Content); }

  // ---- Hierarchy
  View* superview() const noexcept { return superview_; }
  const std::vector<Ref<View>>& subviews() const noexcept { return subviews_; }
  // The window at the top of the superview chain, or null.
  Window* window() const;
  // In a window that is not hidden.
  bool isOnScreen() const;
  // Adding a view that already is a subview brings it to the front. Adding the
  // view itself or one of its ancestors throws InvalidArgumentException.
  void addSubview(View* view);
  // An index past the end adds on top.
  void insertSubview(View* view, size_t index);
  // When `sibling` is not a subview, the view goes on top (above) or to the bottom (below).
  void insertSubviewAbove(View* view, View* sibling);
  void insertSubviewBelow(View* view, View* sibling);
  void bringSubviewToFront(View* view);
  void sendSubviewToBack(View* view);
  void exchangeSubviews(size_t i, size_t j);
  void removeFromSuperview();
  // Whether this view is `view` or lies inside it.
  bool isDescendantOfView(const View* view) const;
  // This view or the first one below it (depth first, in subview order) with the tag.
  View* viewWithTag(long tag);

  // Hooks around moves in the tree.
  virtual void willMoveToSuperview(View* newSuperview) { (void)newSuperview; }
  virtual void didMoveToSuperview() {}
  virtual void willMoveToWindow(Window* newWindow) { (void)newWindow; }
  virtual void didMoveToWindow() {}
  virtual void didAddSubview(View* subview) { (void)subview; }
  virtual void willRemoveSubview(View* subview) { (void)subview; }

  // ---- Layout
  void setNeedsLayout();
  bool needsLayout() const noexcept { return needsLayout_; }
  // Runs layoutSubviews now when marked, then does the same for the subviews.
  void layoutIfNeeded();
  virtual void layoutSubviews() {}
  // Lays out every view marked for layout (what a drain of the main run loop does).
  static void layoutPendingViews();

  // ---- Coordinates. A null view means the window's coordinates (the root
  // view's, outside a window). Views in different windows convert through screen coordinates.
  Point convertPointToView(Point p, const View* view) const;
  Point convertPointFromView(Point p, const View* view) const;
  Rect convertRectToView(Rect r, const View* view) const;
  Rect convertRectFromView(Rect r, const View* view) const;

  // ---- Touches
  // The deepest visible, interactive view containing the point (in this view's
  // coordinates), searching the topmost subviews first; null when none.
  virtual View* hitTest(Point p, Event* event);
  virtual bool pointInside(Point p, Event* event) const;
  // Why a finger at `p` (this view's coordinates) would not reach this view:
  // hidden, transparent or not taking touches (itself or an ancestor), the
  // point outside a superview, or another view hit there. `reaches` says
  // whether the view the window hits counts as this one; `where` names the
  // point in the answer ("at its centre"). Empty: it would. Hit-tested from
  // the window, or outside a window from the topmost superview.
  std::string whyUnreachableAt(Point p, const std::string& where, const std::function<bool(View* hit)>& reaches) const;
  // A short name for messages: the class, and the tag when set.
  std::string describe() const;

  // ---- Gestures
  void addGestureRecognizer(GestureRecognizer* recognizer);
  void removeGestureRecognizer(GestureRecognizer* recognizer);
  const std::vector<Ref<GestureRecognizer>>& gestureRecognizers() const noexcept { return gestures_; }

  // ---- Responder chain
  Responder* nextResponder() const override;
  // The controller whose root view this is, or null.
  ViewController* viewController() const noexcept { return controller_; }
  // Makes the first responder in this subtree resign; with `force` it is
  // resigned even when it refuses. Answers whether none is left in the subtree.
  bool endEditing(bool force);

  std::string className() const override { return "View"; }
  std::string description() const override;

 protected:
  // Reports a change to the observer.
  void notify(ViewChange change);
  virtual bool isWindow() const { return false; }

 private:
  friend class Application;
  friend class Layer;
  friend class ViewController;
  friend class Window;

  void storeBounds(Rect b);
  void storeCenter(Point c);
  void boundsSizeChanged(Size oldSize);
  void autoresize(Size oldSuper, Size newSuper);
  void insertAt(View* view, size_t index);
  void detach();
  void reorder(View* view, size_t index);
  void propagateWillMoveToWindow(Window* w);
  void propagateDidMoveToWindow();
  void resignFirstResponderInSubtree();
  Point toSuperview(Point p) const;
  Point fromSuperview(Point p) const;
  Point toScreen(Point p) const;
  Point fromScreen(Point p) const;

  Ref<Layer> layer_;
  View* superview_ = nullptr;
  std::vector<Ref<View>> subviews_;
  ViewController* controller_ = nullptr;
  std::vector<Ref<GestureRecognizer>> gestures_;
  AffineTransform transform_;
  unsigned autoresizingMask_ = 0;
  bool autoresizesSubviews_ = true;
  bool opaque_ = true;
  ContentMode contentMode_ = ContentMode::ScaleToFill;
  long tag_ = 0;
  bool userInteractionEnabled_ = true;
  bool multipleTouchEnabled_ = false;
  bool exclusiveTouch_ = false;
  bool needsLayout_ = false;
};

}  // namespace kit
