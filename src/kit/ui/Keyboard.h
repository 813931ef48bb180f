#pragma once
// The on-screen keyboard, headless: it is "shown" while a text input is the
// first responder. Showing and hiding post the will/did notifications of
// Application with the keyboard's begin and end frames (screen coordinates,
// GeometryValue), the animation duration and curve in the user info. Both
// notifications of a change are posted at once, in order.

#include "kit/ui/Geometry.h"

namespace kit {

class Keyboard {
 public:
  static constexpr double kAnimationDuration = 0.25;

  static bool isVisible();
  // A desktop keyboard takes no room on the screen: the frames reported then
  // have no height and lie on the screen's bottom edge, so nothing shrinks to
  // make way. Set once by the window backend; off headless.
  static void setTakesNoRoom(bool none);
  static bool takesNoRoom();
  // The frame the keyboard takes on screen for the current idiom and status-bar orientation.
  static Rect frame();
  // No effect when already in that state.
  static void show();
  static void hide();
};

}  // namespace kit
