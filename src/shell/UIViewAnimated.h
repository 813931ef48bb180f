#pragma once
// Hiding and showing any view with a 0.3 s fade.

#include "kit/ui/View.h"

namespace tolva::UIViewAnimated {

// Animated and changing: fades the layer's opacity (key "opa") and, when
// hiding, animates its hidden flag too (key "hid"). Always ends with the
// layer's hidden flag set to `hidden`.
void setHidden(kit::View& view, bool hidden, bool animated);

}  // namespace tolva::UIViewAnimated
