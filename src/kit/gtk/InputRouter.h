#pragma once
// Turns what the user does with the pointer in a kit window into kit input,
// before GTK handles the same event (GTK still does: entries get their
// cursor, WebKit its clicks, buttons their pressed look):
//  - the first button's press, drag and release become one kit touch
//    (Window::touchBegin/Move/End), so controls track it themselves;
//  - the gesture recognisers on the touched view and its ancestors are run:
//    a press held still for the minimum duration is a long press, a drag
//    past a few pixels a pan, a release without either a tap (with the
//    click count); touchpad swipes are swipes with their finger count, and
//    touchpad pinches pinches;
//  - a drag that no pan recogniser takes scrolls the kit scroll view it
//    began in, as a finger's would (one that cannot move that way, a table
//    sideways, keeps the touch: that is a row's swipe);
//  - the wheel scrolls the kit scroll view under the pointer, sideways for
//    one that only scrolls sideways (WebKit scrolls its own pages);
//  - the secondary button is a long press on what is under the pointer
//    (a page shows its own menu for it);
//  - Escape closes what is shown on top (an alert or sheet, a popover, a
//    presented screen) by that screen's own close, cancel or Done control,
//    so its owner sees an ordinary close; with nothing shown it goes to the
//    focused field or page.
// Nothing reaches kit while a GTK grab (a modal dialog) holds another window.

#include <gdk/gdk.h>

namespace kit::gtk {

class InputRouter {
 public:
  static void install();
  // Handles one event as if it came from the display (tests).
  static void handle(GdkEvent* event);

  // Movement (pixels) past which a press becomes a drag.
  static constexpr double kDragThreshold = 8;
  // Travel (pixels) a touchpad swipe needs to count.
  static constexpr double kSwipeDistance = 40;
};

}  // namespace kit::gtk
