#include "shell/VeskTouchPropagatingUIButton.h"

namespace tolva {

// Asked after the button's own handling: its action may just have let the
// control take touches (or swapped the control).
kit::Ref<kit::View> VeskTouchPropagatingUIButton::receiver() const {
  if (propagatingView_ && propagatingView_->isUserInteractionEnabled()) return propagatingView_;
  return nullptr;
}

void VeskTouchPropagatingUIButton::touchesBegan(const kit::Touches& touches, kit::Event* event) {
  kit::Button::touchesBegan(touches, event);
  if (kit::Ref<kit::View> v = receiver()) v->touchesBegan(touches, event);
}

void VeskTouchPropagatingUIButton::touchesMoved(const kit::Touches& touches, kit::Event* event) {
  kit::Button::touchesMoved(touches, event);
  if (kit::Ref<kit::View> v = receiver()) v->touchesMoved(touches, event);
}

void VeskTouchPropagatingUIButton::touchesEnded(const kit::Touches& touches, kit::Event* event) {
  kit::Button::touchesEnded(touches, event);
  if (kit::Ref<kit::View> v = receiver()) v->touchesEnded(touches, event);
}

void VeskTouchPropagatingUIButton::touchesCancelled(const kit::Touches& touches, kit::Event* event) {
  kit::Button::touchesCancelled(touches, event);
  if (kit::Ref<kit::View> v = receiver()) v->touchesCancelled(touches, event);
}

}  // namespace tolva
