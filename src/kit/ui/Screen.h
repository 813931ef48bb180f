#pragma once
// The display: its bounds (1024×768 for the tablet idiom, 320×480 for the
// phone idiom, unless a backend sets another size) and the application
// frame, the bounds less the status bar. Both are in the screen's natural,
// unrotated coordinates; with a landscape status-bar orientation the status
// bar is a strip along the left or right edge.

#include "kit/ui/Geometry.h"

namespace kit {

class Screen {
 public:
  static constexpr double kStatusBarHeight = 20;

  static Screen& mainScreen();

  Rect bounds() const;
  // The bounds less the status bar while it is shown.
  Rect applicationFrame() const;
  double scale() const { return 1; }
  // Replaces the idiom's size (a backend's window); a zero size restores it.
  void setSizeOverride(Size size);

 private:
  Screen() = default;
};

}  // namespace kit
