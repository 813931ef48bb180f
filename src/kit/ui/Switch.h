#pragma once
// An on/off switch; a tap flips it and sends ValueChanged.

#include "kit/ui/Control.h"

namespace kit {

class Switch : public Control {
 public:
  explicit Switch(Rect frame = {});

  bool isOn() const noexcept { return on_; }
  // Programmatic: no ValueChanged.
  void setOn(bool on, bool animated = false);

  void touchesEnded(const Touches& touches, Event* event) override;
  Size sizeThatFits(Size) const override { return {79, 27}; }

  std::string className() const override { return "Switch"; }

 private:
  bool on_ = false;
};

}  // namespace kit
