#pragma once
// Stand-in for the pull tab of a dock: a button that names the view its
// touches go on to (the dial). Passing the touches on comes with the real
// button.

#include "kit/ui/Button.h"

namespace tolva {

class VeskTouchPropagatingUIButton : public kit::Button {
 public:
  explicit VeskTouchPropagatingUIButton(kit::Rect frame = {}) : kit::Button(frame) {}

  kit::View* propagatingView() const noexcept { return propagatingView_.get(); }
  void setPropagatingView(kit::View* v) { propagatingView_ = v; }

  std::string className() const override { return "VeskTouchPropagatingUIButton"; }

 private:
  kit::Ref<kit::View> propagatingView_;
};

}  // namespace tolva
