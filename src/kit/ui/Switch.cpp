#include "kit/ui/Switch.h"

#include "kit/ui/Touch.h"

namespace kit {

Switch::Switch(Rect frame) : Control({frame.origin, {79, 27}}) {}

void Switch::setOn(bool on, bool) {
  if (on == on_) return;
  on_ = on;
  notify(ViewChange::Content);
}

void Switch::touchesEnded(const Touches& touches, Event* event) {
  bool flip = isEnabled() && isTracking() && !touches.empty() &&
              isInsideForTracking(touches.front()->locationInView(this));
  Ref<Switch> keep(this);
  if (flip) {
    setOn(!on_, true);
    sendActionsForControlEvents(ValueChanged);
  }
  Control::touchesEnded(touches, event);
}

}  // namespace kit
