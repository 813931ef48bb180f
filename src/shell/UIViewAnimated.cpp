#include "shell/UIViewAnimated.h"

#include "kit/ui/Animation.h"
#include "kit/ui/Layer.h"

namespace tolva::UIViewAnimated {

void setHidden(kit::View& view, bool hidden, bool animated) {
  kit::Layer* layer = view.layer();
  if (animated && layer->isHidden() != hidden) {
    double from = hidden ? 1.0 : 0.0;
    double to = hidden ? 0.0 : 1.0;
    kit::Ref<kit::Animation> fade = kit::Animation::animationWithKeyPath("opacity");
    fade->setFromValue(from);
    fade->setToValue(to);
    fade->setTimingFunction(kit::TimingFunction::EaseInEaseOut);
    fade->setDuration(0.3);
    layer->addAnimation(fade, "opa");
    layer->setOpacity(to);
    if (hidden) {
      kit::Ref<kit::Animation> hide = kit::Animation::animationWithKeyPath("hidden");
      hide->setFromValue(false);
      hide->setToValue(true);
      hide->setDuration(0.3);
      layer->addAnimation(hide, "hid");
    }
  }
  layer->setHidden(hidden);
}

}  // namespace tolva::UIViewAnimated
