#pragma once
// Shows the application's network activity indicator the desktop's way: the busy-interactive
// ("progress") cursor over the program's windows while it is on, the ordinary cursor once it
// is off.

#include <gdk/gdk.h>

namespace kit::gtk {

class NetworkActivityCursor {
 public:
  // Follows the application's indicator from now on (once; later calls do nothing).
  static void install();
  // The cursor shown while the indicator is on.
  static GdkCursor* busyCursor();

 private:
  static void apply(bool busy);
};

}  // namespace kit::gtk
