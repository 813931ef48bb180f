#include "kit/ui/Control.h"

#include <algorithm>

#include "kit/foundation/Clock.h"
#include "kit/foundation/Exception.h"
#include "kit/ui/Event.h"
#include "kit/ui/Touch.h"
#include "kit/ui/Window.h"

namespace kit {
namespace {

// How far outside its bounds a finger may stray and still count as inside.
constexpr double kTrackingMargin = 70;

}  // namespace

Control::Control(Rect frame) : View(frame) {}

void Control::setEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  if (!enabled) highlighted_ = false;
  notify(ViewChange::State);
}

void Control::setSelected(bool selected) {
  if (selected == selected_) return;
  selected_ = selected;
  notify(ViewChange::State);
}

void Control::setHighlighted(bool highlighted) {
  if (highlighted == highlighted_) return;
  highlighted_ = highlighted;
  notify(ViewChange::State);
}

unsigned Control::state() const {
  unsigned s = Normal;
  if (highlighted_) s |= Highlighted;
  if (!enabled_) s |= Disabled;
  if (selected_) s |= Selected;
  return s;
}

void Control::setContentHorizontalAlignment(ContentHorizontalAlignment a) {
  hAlign_ = a;
  notify(ViewChange::Appearance);
}

void Control::setContentVerticalAlignment(ContentVerticalAlignment a) {
  vAlign_ = a;
  notify(ViewChange::Appearance);
}

// ---- Actions

void Control::addTarget(std::string actionName, unsigned events, Action action) {
  if (!action || events == 0) return;
  for (auto& t : targets_) {
    if (t.name == actionName) {
      t.events |= events;
      t.action = std::move(action);
      return;
    }
  }
  targets_.push_back({std::move(actionName), events, std::move(action)});
}

void Control::removeTarget(const std::string& actionName, unsigned events) {
  for (auto& t : targets_) {
    if (actionName.empty() || t.name == actionName) t.events &= ~events;
  }
  targets_.erase(std::remove_if(targets_.begin(), targets_.end(), [](const Target& t) { return t.events == 0; }),
                 targets_.end());
}

std::vector<std::string> Control::actionsForControlEvent(unsigned event) const {
  std::vector<std::string> names;
  for (const auto& t : targets_) {
    if (t.events & event) names.push_back(t.name);
  }
  return names;
}

unsigned Control::allControlEvents() const {
  unsigned all = 0;
  for (const auto& t : targets_) all |= t.events;
  return all;
}

void Control::sendActionsForControlEvents(unsigned events) {
  Ref<Control> keep(this);
  // Each event in turn, lowest first; actions may change the list meanwhile.
  for (unsigned bit = 1; bit != 0; bit <<= 1) {
    if (!(events & bit)) continue;
    auto targets = targets_;
    for (auto& t : targets) {
      if (t.events & bit) t.action(*this);
    }
  }
}

// ---- Tracking

bool Control::isInsideForTracking(Point p) const {
  return bounds().insetBy(-kTrackingMargin, -kTrackingMargin).contains(p);
}

bool Control::beginTracking(Touch&, Event*) { return true; }

bool Control::continueTracking(Touch&, Event*) { return true; }

void Control::endTracking(Touch&, Event*) {}

void Control::cancelTracking(Event*) {}

void Control::touchesBegan(const Touches& touches, Event* event) {
  if (!enabled_ || touches.empty()) return;
  Ref<Control> keep(this);
  Touch& t = *touches.front();
  tracking_ = beginTracking(t, event);
  touchInside_ = true;
  setHighlighted(true);
  unsigned events = TouchDown;
  if (t.tapCount() > 1) events |= TouchDownRepeat;
  sendActionsForControlEvents(events);
}

void Control::touchesMoved(const Touches& touches, Event* event) {
  if (!enabled_ || touches.empty()) return;
  Ref<Control> keep(this);
  Touch& t = *touches.front();
  bool wasInside = touchInside_;
  touchInside_ = isInsideForTracking(t.locationInView(this));
  setHighlighted(touchInside_);
  if (tracking_) tracking_ = continueTracking(t, event);
  unsigned events = touchInside_ ? TouchDragInside : TouchDragOutside;
  if (wasInside != touchInside_) events |= touchInside_ ? TouchDragEnter : TouchDragExit;
  sendActionsForControlEvents(events);
}

void Control::touchesEnded(const Touches& touches, Event* event) {
  if (!enabled_ || touches.empty()) return;
  Ref<Control> keep(this);
  Touch& t = *touches.front();
  touchInside_ = isInsideForTracking(t.locationInView(this));
  if (tracking_) endTracking(t, event);
  tracking_ = false;
  setHighlighted(false);
  sendActionsForControlEvents(touchInside_ ? TouchUpInside : TouchUpOutside);
  touchInside_ = false;
}

void Control::touchesCancelled(const Touches&, Event* event) {
  if (!enabled_) return;
  Ref<Control> keep(this);
  if (tracking_) cancelTracking(event);
  tracking_ = false;
  touchInside_ = false;
  setHighlighted(false);
  sendActionsForControlEvents(TouchCancel);
}

// ---- Acted-out touches

Ref<Touch> Control::makeTouch(Point local, int tapCount) {
  Window* w = window();
  return Ref<Touch>(new Touch(w, this, convertPointToView(local, nullptr), tapCount));
}

void Control::touchDown() {
  Ref<Control> keep(this);
  Rect b = bounds();
  simulated_ = makeTouch(b.center(), 1);
  Touches ts{simulated_};
  Ref<Event> e(new Event(ts, Clock::monotonic()));
  touchesBegan(ts, e.get());
}

void Control::touchUpInside() {
  Ref<Control> keep(this);
  if (!simulated_) simulated_ = makeTouch(bounds().center(), 1);
  Ref<Touch> t = std::move(simulated_);
  t->update(convertPointToView(bounds().center(), nullptr), Touch::Phase::Ended);
  Touches ts{t};
  Ref<Event> e(new Event(ts, Clock::monotonic()));
  touchesEnded(ts, e.get());
}

void Control::touchUpOutside() {
  Ref<Control> keep(this);
  if (!simulated_) simulated_ = makeTouch(bounds().center(), 1);
  Ref<Touch> t = std::move(simulated_);
  Rect b = bounds();
  Point far{b.maxX() + 2 * kTrackingMargin, b.maxY() + 2 * kTrackingMargin};
  t->update(convertPointToView(far, nullptr), Touch::Phase::Ended);
  Touches ts{t};
  Ref<Event> e(new Event(ts, Clock::monotonic()));
  touchesEnded(ts, e.get());
}

void Control::touchCancel() {
  Ref<Control> keep(this);
  if (!simulated_) simulated_ = makeTouch(bounds().center(), 1);
  Ref<Touch> t = std::move(simulated_);
  t->update(t->locationInView(nullptr), Touch::Phase::Cancelled);
  Touches ts{t};
  Ref<Event> e(new Event(ts, Clock::monotonic()));
  touchesCancelled(ts, e.get());
}

std::string Control::whyUntappable() {
  if (!enabled_) return "is disabled";
  if (!drawsSomething()) return "draws nothing (no image, title or background)";
  return whyUnreachableAt(bounds().center(), "at its centre", [this](View* hit) {
    // A plain subview (a title, an image) passes the touch on to its control.
    View* owner = hit;
    while (owner && owner != this && !dynamic_cast<Control*>(owner)) owner = owner->superview();
    return owner == this;
  });
}

void Control::tap() {
  if (std::string why = whyUntappable(); !why.empty())
    throw IllegalStateException("tap on " + describe() + ": it " + why);
  touchDown();
  touchUpInside();
}

}  // namespace kit
