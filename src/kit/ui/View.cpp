#include "kit/ui/View.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "kit/foundation/Exception.h"
#include "kit/foundation/RunLoop.h"
#include "kit/ui/GestureRecognizer.h"
#include "kit/ui/Layer.h"
#include "kit/ui/ViewController.h"
#include "kit/ui/Window.h"

namespace kit {
namespace {

ViewObserver* gObserver = nullptr;

// Views waiting for a layout pass, and whether one is scheduled.
std::vector<WeakRef<View>>& pendingLayout() {
  static std::vector<WeakRef<View>> v;
  return v;
}
bool gLayoutScheduled = false;
const int gLayoutTarget = 0;

void collectControllers(View* root, std::vector<Ref<ViewController>>& out) {
  if (ViewController* c = root->viewController()) out.emplace_back(c);
  for (const auto& s : root->subviews()) collectControllers(s.get(), out);
}

// Runs `move` while the controllers under `subtree` go on or off screen.
template <class Fn>
void withAppearance(View* subtree, bool wasOn, bool willBeOn, Fn move) {
  if (wasOn == willBeOn) {
    move();
    return;
  }
  std::vector<Ref<ViewController>> controllers;
  collectControllers(subtree, controllers);
  if (controllers.empty()) {
    move();
    return;
  }
  ViewController::TransitionScope* outer = ViewController::TransitionScope::current();
  ViewController::TransitionScope scope(outer ? outer->animated() : false);
  for (auto& c : controllers) c->beginAppearanceTransition(willBeOn, scope.animated());
  move();
  for (auto& c : controllers) scope.deferEnd(c.get());
}

}  // namespace

View::View(Rect frame) : layer_(new Layer()) {
  layer_->view_ = this;
  layer_->bounds_ = {0, 0, frame.width(), frame.height()};
  layer_->position_ = frame.center();
}

View::~View() {
  for (auto& s : subviews_) s->superview_ = nullptr;
  for (auto& g : gestures_) g->view_ = nullptr;
  layer_->view_ = nullptr;
  // The controller keeps its view alive, so a view going away has none; clear anyway.
  controller_ = nullptr;
}

void View::setObserver(ViewObserver* observer) { gObserver = observer; }

ViewObserver* View::observer() { return gObserver; }

void View::notify(ViewChange change) {
  if (gObserver) gObserver->viewChanged(*this, change);
}

std::string View::description() const {
  return "<" + className() + " frame=" + toString(frame()) + " tag=" + std::to_string(tag_) +
         (isHidden() ? " hidden" : "") + ">";
}

// ---- Geometry

Rect View::bounds() const { return layer_->bounds_; }

Point View::center() const { return layer_->position_; }

Rect View::frame() const {
  Rect b = bounds();
  Point c = center();
  if (transform_.isIdentity()) return {c.x - b.width() / 2, c.y - b.height() / 2, b.width(), b.height()};
  Rect local{-b.width() / 2, -b.height() / 2, b.width(), b.height()};
  return transform_.apply(local).offsetBy(c.x, c.y);
}

void View::storeBounds(Rect b) { layer_->bounds_ = b; }

void View::storeCenter(Point c) { layer_->position_ = c; }

void View::setFrame(Rect f) {
  Rect s = f.standardized();
  Size oldSize = bounds().size;
  Rect b = bounds();
  if (transform_.isIdentity()) {
    b.size = s.size;
  }
  storeBounds(b);
  storeCenter(s.center());
  notify(ViewChange::Frame);
  if (!(oldSize == bounds().size)) boundsSizeChanged(oldSize);
}

void View::setBounds(Rect nb) {
  Rect old = bounds();
  Rect s = {nb.origin, {std::max(0.0, nb.width()), std::max(0.0, nb.height())}};
  if (s == old) return;
  storeBounds(s);
  notify(ViewChange::Frame);
  if (!(old.size == s.size)) boundsSizeChanged(old.size);
}

void View::setCenter(Point c) {
  if (c == center()) return;
  storeCenter(c);
  notify(ViewChange::Frame);
}

void View::setTransform(const AffineTransform& t) {
  if (t == transform_) return;
  transform_ = t;
  notify(ViewChange::Frame);
}

Size View::sizeThatFits(Size) const { return bounds().size; }

void View::sizeToFit() {
  Rect f = frame();
  f.size = sizeThatFits(f.size);
  setFrame(f);
}

void View::boundsSizeChanged(Size oldSize) {
  if (autoresizesSubviews_) {
    Size now = bounds().size;
    // Copy: a subview's own hooks may rearrange the list.
    auto subs = subviews_;
    for (auto& s : subs) s->autoresize(oldSize, now);
  }
  setNeedsLayout();
}

// The size change of each axis is shared among its flexible parts in
// proportion to their current lengths (equally when they are all zero).
void View::autoresize(Size oldSuper, Size newSuper) {
  unsigned m = autoresizingMask_;
  if (m == None) return;
  Rect f = frame();
  auto axis = [](double& pos, double& len, double oldS, double newS, bool flexMin, bool flexLen, bool flexMax) {
    double delta = newS - oldS;
    if (delta == 0) return;
    int n = int(flexMin) + int(flexLen) + int(flexMax);
    if (n == 0) return;
    double minMargin = pos;
    double maxMargin = oldS - pos - len;
    double total = (flexMin ? minMargin : 0) + (flexLen ? len : 0) + (flexMax ? maxMargin : 0);
    double dMin, dLen;
    if (total > 0) {
      dMin = flexMin ? delta * minMargin / total : 0;
      dLen = flexLen ? delta * len / total : 0;
    } else {
      dMin = flexMin ? delta / n : 0;
      dLen = flexLen ? delta / n : 0;
    }
    pos += dMin;
    len = std::max(0.0, len + dLen);
  };
  double x = f.x(), w = f.width(), y = f.y(), h = f.height();
  axis(x, w, oldSuper.width, newSuper.width, m & FlexibleLeftMargin, m & FlexibleWidth, m & FlexibleRightMargin);
  axis(y, h, oldSuper.height, newSuper.height, m & FlexibleTopMargin, m & FlexibleHeight, m & FlexibleBottomMargin);
  Rect nf{x, y, w, h};
  if (!(nf == f)) setFrame(nf);
}

// ---- Appearance

bool View::isHidden() const { return layer_->hidden_; }

void View::setHidden(bool hidden) {
  if (hidden == layer_->hidden_) return;
  layer_->hidden_ = hidden;
  notify(ViewChange::Hidden);
}

double View::alpha() const { return layer_->opacity_; }

void View::setAlpha(double a) {
  a = std::isnan(a) ? 0 : std::clamp(a, 0.0, 1.0);
  if (a == layer_->opacity_) return;
  layer_->opacity_ = a;
  notify(ViewChange::Alpha);
}

const std::optional<Color>& View::backgroundColor() const { return layer_->background_; }

void View::setBackgroundColor(std::optional<Color> c) {
  if (c == layer_->background_) return;
  layer_->background_ = c;
  notify(ViewChange::BackgroundColor);
}

bool View::clipsToBounds() const { return layer_->masksToBounds_; }

void View::setClipsToBounds(bool clips) { layer_->setMasksToBounds(clips); }

void View::setContentMode(ContentMode m) {
  if (m == contentMode_) return;
  contentMode_ = m;
  notify(ViewChange::Appearance);
}

void View::setUserInteractionEnabled(bool e) {
  if (e == userInteractionEnabled_) return;
  userInteractionEnabled_ = e;
  notify(ViewChange::Appearance);
}

// ---- Hierarchy

Window* View::window() const {
  const View* v = this;
  while (v->superview_) v = v->superview_;
  return v->isWindow() ? static_cast<Window*>(const_cast<View*>(v)) : nullptr;
}

bool View::isOnScreen() const {
  Window* w = window();
  return w && !w->isHidden();
}

bool View::isDescendantOfView(const View* view) const {
  if (!view) return false;
  for (const View* v = this; v; v = v->superview_) {
    if (v == view) return true;
  }
  return false;
}

View* View::viewWithTag(long tag) {
  if (tag_ == tag) return this;
  for (auto& s : subviews_) {
    if (View* v = s->viewWithTag(tag)) return v;
  }
  return nullptr;
}

void View::addSubview(View* view) { insertAt(view, subviews_.size()); }

void View::insertSubview(View* view, size_t index) { insertAt(view, index); }

void View::insertSubviewAbove(View* view, View* sibling) {
  if (!view) return;
  if (view == sibling) return;
  if (view->superview_ == this) {
    // Index of the sibling once `view` is taken out.
    std::vector<View*> rest;
    for (auto& s : subviews_) {
      if (s.get() != view) rest.push_back(s.get());
    }
    auto it = std::find(rest.begin(), rest.end(), sibling);
    reorder(view, it == rest.end() ? rest.size() : size_t(it - rest.begin()) + 1);
    return;
  }
  auto it = std::find_if(subviews_.begin(), subviews_.end(), [&](const Ref<View>& s) { return s.get() == sibling; });
  insertAt(view, it == subviews_.end() ? subviews_.size() : size_t(it - subviews_.begin()) + 1);
}

void View::insertSubviewBelow(View* view, View* sibling) {
  if (!view) return;
  if (view == sibling) return;
  if (view->superview_ == this) {
    std::vector<View*> rest;
    for (auto& s : subviews_) {
      if (s.get() != view) rest.push_back(s.get());
    }
    auto it = std::find(rest.begin(), rest.end(), sibling);
    reorder(view, it == rest.end() ? 0 : size_t(it - rest.begin()));
    return;
  }
  auto it = std::find_if(subviews_.begin(), subviews_.end(), [&](const Ref<View>& s) { return s.get() == sibling; });
  insertAt(view, it == subviews_.end() ? 0 : size_t(it - subviews_.begin()));
}

void View::bringSubviewToFront(View* view) {
  if (view && view->superview_ == this) reorder(view, subviews_.size() - 1);
}

void View::sendSubviewToBack(View* view) {
  if (view && view->superview_ == this) reorder(view, 0);
}

void View::exchangeSubviews(size_t i, size_t j) {
  if (i >= subviews_.size() || j >= subviews_.size() || i == j) return;
  std::swap(subviews_[i], subviews_[j]);
  notify(ViewChange::Subviews);
}

// Moves an existing subview to `index` of the list without it.
void View::reorder(View* view, size_t index) {
  auto it = std::find_if(subviews_.begin(), subviews_.end(), [&](const Ref<View>& s) { return s.get() == view; });
  if (it == subviews_.end()) return;
  size_t from = size_t(it - subviews_.begin());
  Ref<View> keep = *it;
  subviews_.erase(it);
  index = std::min(index, subviews_.size());
  subviews_.insert(subviews_.begin() + long(index), keep);
  if (from != index) notify(ViewChange::Subviews);
}

void View::insertAt(View* view, size_t index) {
  if (!view) return;
  if (view == this || isDescendantOfView(view)) {
    throw InvalidArgumentException("a view cannot be added to itself or to one of its subviews");
  }
  if (view->superview_ == this) {
    // Re-adding moves it, as on the platform.
    reorder(view, index >= subviews_.size() ? subviews_.size() : index);
    return;
  }
  Ref<View> keep(view);
  Window* oldWindow = view->window();
  Window* newWindow = window();
  withAppearance(view, view->isOnScreen(), isOnScreen(), [&] {
    if (oldWindow != newWindow && !newWindow) view->resignFirstResponderInSubtree();
    if (view->superview_) view->detach();
    view->willMoveToSuperview(this);
    if (oldWindow != newWindow) view->propagateWillMoveToWindow(newWindow);
    index = std::min(index, subviews_.size());
    subviews_.insert(subviews_.begin() + long(index), keep);
    view->superview_ = this;
    view->didMoveToSuperview();
    if (oldWindow != newWindow) view->propagateDidMoveToWindow();
    didAddSubview(view);
    notify(ViewChange::Subviews);
    view->notify(ViewChange::Superview);
  });
  setNeedsLayout();
}

// Takes the view out of its superview's list (no appearance calls, no hooks
// of the view itself).
void View::detach() {
  View* parent = superview_;
  if (!parent) return;
  parent->willRemoveSubview(this);
  auto& subs = parent->subviews_;
  auto it = std::find_if(subs.begin(), subs.end(), [this](const Ref<View>& s) { return s.get() == this; });
  superview_ = nullptr;
  Ref<View> keep(this);
  if (it != subs.end()) subs.erase(it);
  parent->notify(ViewChange::Subviews);
  parent->setNeedsLayout();
}

void View::removeFromSuperview() {
  if (!superview_) return;
  Ref<View> keep(this);
  Window* oldWindow = window();
  withAppearance(this, isOnScreen(), false, [&] {
    resignFirstResponderInSubtree();
    willMoveToSuperview(nullptr);
    if (oldWindow) propagateWillMoveToWindow(nullptr);
    detach();
    didMoveToSuperview();
    if (oldWindow) propagateDidMoveToWindow();
    notify(ViewChange::Superview);
  });
}

void View::propagateWillMoveToWindow(Window* w) {
  willMoveToWindow(w);
  for (auto& s : subviews_) s->propagateWillMoveToWindow(w);
}

void View::propagateDidMoveToWindow() {
  didMoveToWindow();
  for (auto& s : subviews_) s->propagateDidMoveToWindow();
}

void View::resignFirstResponderInSubtree() {
  auto* fr = dynamic_cast<View*>(Responder::firstResponder());
  if (fr && fr->isDescendantOfView(this)) fr->resignFirstResponder();
}

bool View::endEditing(bool force) {
  auto* fr = dynamic_cast<View*>(Responder::firstResponder());
  if (!fr || !fr->isDescendantOfView(this)) return true;
  if (fr->resignFirstResponder()) return true;
  if (!force) return false;
  forceResignFirstResponder();
  return true;
}

// ---- Layout

void View::setNeedsLayout() {
  if (needsLayout_) return;
  needsLayout_ = true;
  pendingLayout().emplace_back(this);
  if (gLayoutScheduled) return;
  gLayoutScheduled = true;
  RunLoop::main().performAfterDelay(&gLayoutTarget, "layout", nullptr, 0, [] { layoutPendingViews(); },
                                    {RunLoop::kCommonModes});
}

void View::layoutPendingViews() {
  gLayoutScheduled = false;
  // Layout may mark more views; keep going until nothing is left.
  for (int round = 0; round < 100 && !pendingLayout().empty(); ++round) {
    auto pending = std::move(pendingLayout());
    pendingLayout().clear();
    for (auto& w : pending) {
      if (Ref<View> v = w.lock()) v->layoutIfNeeded();
    }
  }
}

void View::layoutIfNeeded() {
  Ref<View> keep(this);
  if (needsLayout_) {
    needsLayout_ = false;
    layoutSubviews();
  }
  auto subs = subviews_;
  for (auto& s : subs) s->layoutIfNeeded();
}

// ---- Coordinates

Point View::toSuperview(Point p) const {
  Rect b = bounds();
  Point c = center();
  Point local{p.x - b.x() - b.width() / 2, p.y - b.y() - b.height() / 2};
  if (!transform_.isIdentity()) local = transform_.apply(local);
  return {c.x + local.x, c.y + local.y};
}

Point View::fromSuperview(Point p) const {
  Rect b = bounds();
  Point c = center();
  Point local{p.x - c.x, p.y - c.y};
  if (!transform_.isIdentity()) local = transform_.inverted().apply(local);
  return {local.x + b.x() + b.width() / 2, local.y + b.y() + b.height() / 2};
}

// Screen coordinates: through every ancestor, the root's frame included.
Point View::toScreen(Point p) const {
  for (const View* v = this; v; v = v->superview_) p = v->toSuperview(p);
  return p;
}

Point View::fromScreen(Point p) const {
  std::vector<const View*> chain;
  for (const View* v = this; v; v = v->superview_) chain.push_back(v);
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) p = (*it)->fromSuperview(p);
  return p;
}

namespace {

// The view whose coordinates "null" stands for: the window, else the root.
const View* coordinateRoot(const View* v) {
  const View* r = v;
  while (r->superview()) r = r->superview();
  return r;
}

}  // namespace

Point View::convertPointToView(Point p, const View* view) const {
  Point s = toScreen(p);
  if (view) return view->fromScreen(s);
  const View* root = coordinateRoot(this);
  return root->fromScreen(s);
}

Point View::convertPointFromView(Point p, const View* view) const {
  const View* source = view ? view : coordinateRoot(this);
  return fromScreen(source->toScreen(p));
}

Rect View::convertRectToView(Rect r, const View* view) const {
  Point a = convertPointToView({r.minX(), r.minY()}, view);
  Point b = convertPointToView({r.maxX(), r.maxY()}, view);
  if (transform_.isIdentity()) return Rect{a.x, a.y, b.x - a.x, b.y - a.y}.standardized();
  Point c = convertPointToView({r.maxX(), r.minY()}, view);
  Point d = convertPointToView({r.minX(), r.maxY()}, view);
  return Rect{a, {}}.unionWith(Rect{b, {}}).unionWith(Rect{c, {}}).unionWith(Rect{d, {}});
}

Rect View::convertRectFromView(Rect r, const View* view) const {
  const View* source = view ? view : coordinateRoot(this);
  Point a = convertPointFromView({r.minX(), r.minY()}, source);
  Point b = convertPointFromView({r.maxX(), r.maxY()}, source);
  Point c = convertPointFromView({r.maxX(), r.minY()}, source);
  Point d = convertPointFromView({r.minX(), r.maxY()}, source);
  return Rect{a, {}}.unionWith(Rect{b, {}}).unionWith(Rect{c, {}}).unionWith(Rect{d, {}});
}

// ---- Touches

bool View::pointInside(Point p, Event*) const { return bounds().contains(p); }

std::string View::describe() const {
  std::string d = className();
  if (tag() != 0) d += " (tag " + std::to_string(tag()) + ")";
  return d;
}

std::string View::whyUnreachableAt(Point p, const std::string& where,
                                   const std::function<bool(View* hit)>& reaches) const {
  const View* root = this;
  for (const View* v = this; v; v = v->superview()) {
    std::string who = v == this ? std::string("is") : "is inside " + v->describe() + ", which is";
    if (v->isHidden()) return who + " hidden";
    if (v->alpha() < 0.01) return who + " transparent";
    if (!v->isUserInteractionEnabled()) return who + " not taking touches";
    root = v;
  }
  if (bounds().isEmpty()) return "has an empty frame";
  for (const View* v = this; v->superview(); v = v->superview()) {
    const View* s = v->superview();
    if (!s->bounds().contains(convertPointToView(p, s))) return "has its point " + where + " outside " + s->describe();
  }
  View* hit = const_cast<View*>(root)->hitTest(convertPointToView(p, root), nullptr);
  if (reaches(hit)) return {};
  if (!hit) return "is not hit " + where;
  return "is covered " + where + " by " + hit->describe();
}

View* View::hitTest(Point p, Event* event) {
  if (isHidden() || !userInteractionEnabled_ || alpha() < 0.01) return nullptr;
  if (!pointInside(p, event)) return nullptr;
  for (auto it = subviews_.rbegin(); it != subviews_.rend(); ++it) {
    View* s = it->get();
    if (View* hit = s->hitTest(s->fromSuperview(p), event)) return hit;
  }
  return this;
}

// ---- Gestures

void View::addGestureRecognizer(GestureRecognizer* g) {
  if (!g) return;
  if (g->view_ == this) return;
  Ref<GestureRecognizer> keep(g);
  if (g->view_) g->view_->removeGestureRecognizer(g);
  gestures_.push_back(keep);
  g->view_ = this;
}

void View::removeGestureRecognizer(GestureRecognizer* g) {
  auto it = std::find_if(gestures_.begin(), gestures_.end(), [g](const Ref<GestureRecognizer>& r) { return r.get() == g; });
  if (it == gestures_.end()) return;
  Ref<GestureRecognizer> keep = *it;
  gestures_.erase(it);
  g->view_ = nullptr;
}

// ---- Responder chain

Responder* View::nextResponder() const {
  if (controller_) return controller_;
  return superview_;
}

}  // namespace kit
