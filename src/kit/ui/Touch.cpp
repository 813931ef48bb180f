#include "kit/ui/Touch.h"

#include "kit/foundation/Clock.h"
#include "kit/ui/View.h"
#include "kit/ui/Window.h"

namespace kit {

Touch::Touch(Window* window, View* view, Point locationInWindow, int tapCount)
    : window_(window),
      view_(view),
      location_(locationInWindow),
      previous_(locationInWindow),
      tapCount_(tapCount),
      timestamp_(Clock::monotonic()) {}

View* Touch::view() const { return view_.lock().get(); }

Window* Touch::window() const { return window_.lock().get(); }

Point Touch::convert(Point p, const View* view) const {
  if (!view) return p;
  Ref<Window> w = window_.lock();
  return view->convertPointFromView(p, w.get());
}

Point Touch::locationInView(const View* view) const { return convert(location_, view); }

Point Touch::previousLocationInView(const View* view) const { return convert(previous_, view); }

void Touch::update(Point locationInWindow, Phase phase) {
  previous_ = location_;
  location_ = locationInWindow;
  phase_ = phase;
  timestamp_ = Clock::monotonic();
}

}  // namespace kit
