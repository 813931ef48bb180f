#pragma once
// The one seam through which a rendering backend follows the view tree.
//
// Install a single process-wide observer with View::setObserver(). Every
// change to a view's visible state reports the view and what changed, on the
// main thread, after the change was made; the observer reads the new state
// from the view itself. Within an animation (ViewAnimation) the observer can
// ask ViewAnimation::current() for its duration and curve, and layer
// animations are reported as ViewChange::Layer with the animation readable
// from the layer. A window reports itself like any other view (Hidden for
// visibility, KeyWindow when it becomes or stops being key); alerts, action
// sheets and popovers are views too and arrive as subview changes of the
// window that shows them.

namespace kit {

class View;

enum class ViewChange {
  Frame,            // frame, bounds, centre or transform
  Hidden,
  Alpha,
  BackgroundColor,
  Subviews,         // reported on the parent: added, removed or reordered
  Superview,        // reported on the child that moved (possibly to none)
  Content,          // text, title, image, font, colour, value, items and the like
  State,            // a control's enabled/selected/highlighted state, editing
  Layer,            // a layer property, sublayers, or an animation added/removed
  Appearance,       // clipping, corner radius, user interaction, content mode, other styling
  KeyWindow,
};

class ViewObserver {
 public:
  virtual ~ViewObserver() = default;
  virtual void viewChanged(View& view, ViewChange change) = 0;
};

}  // namespace kit
