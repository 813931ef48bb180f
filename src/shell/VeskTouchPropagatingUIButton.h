#pragma once
// A button laid over another control (a dock's pull tab over its dial): it
// works as a button and then passes each touch on to that control, so the
// control sees the same finger. The touch goes on only while the control
// takes touches at all.

#include "kit/ui/Button.h"

namespace tolva {

class VeskTouchPropagatingUIButton : public kit::Button {
 public:
  explicit VeskTouchPropagatingUIButton(kit::Rect frame = {}) : kit::Button(frame) {}

  kit::View* propagatingView() const noexcept { return propagatingView_.get(); }
  void setPropagatingView(kit::View* v) { propagatingView_ = v; }

  void touchesBegan(const kit::Touches& touches, kit::Event* event) override;
  void touchesMoved(const kit::Touches& touches, kit::Event* event) override;
  void touchesEnded(const kit::Touches& touches, kit::Event* event) override;
  void touchesCancelled(const kit::Touches& touches, kit::Event* event) override;

  std::string className() const override { return "VeskTouchPropagatingUIButton"; }

 private:
  // The view the touch goes on to now, or null.
  kit::Ref<kit::View> receiver() const;

  kit::Ref<kit::View> propagatingView_;
};

}  // namespace tolva
